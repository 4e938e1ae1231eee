// The module's thirteen functions, in registration order.
#pragma once

#include <span>

#include "python/python.hpp"

namespace orvane::py {

std::span<PyMethodDef> module_functions();

}  // namespace orvane::py
