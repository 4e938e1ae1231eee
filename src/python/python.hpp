// The one place that includes Python.h.
//
// The module is built against CPython's limited API as of 3.8 so that a single
// abi3 build loads into every interpreter from 3.8 on. Defining the version
// here (and nowhere else) makes the compiler refuse any call that 3.8's stable
// ABI lacks.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x03080000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
