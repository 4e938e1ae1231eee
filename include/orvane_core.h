/*
 * orvane_core.h - the C interface of liborvane_core.
 *
 * Host binding code (for mobile and native applications) is normally
 * generated from the interface-description blobs at the end of this file;
 * this header is for the people who write or check that code by hand.
 *
 * ===========================================================================
 * Ownership
 * ===========================================================================
 *
 * Byte buffers (ByteBuffer) have exactly one owner at a time.
 *   - A buffer passed to the library as an argument belongs to the library
 *     from the moment of the call; the library releases it exactly once,
 *     whatever the outcome (also when an earlier argument failed to convert).
 *     Do not touch or free it afterwards.
 *   - A buffer returned by the library (a result, or the error_message of a
 *     failed call) belongs to the host, which releases it exactly once with
 *     ffi_orvane_core_bytebuffer_free.
 *   - Make argument buffers with ffi_orvane_core_bytebuffer_from_bytes, or
 *     with ffi_orvane_core_bytebuffer_alloc and then fill the bytes. Never
 *     pass memory of your own allocator.
 *   - A buffer of capacity 0 holds no allocation; its data pointer is null or
 *     a placeholder that must never be dereferenced.
 *
 * Object handles (Session, BufferPlanner) are counted references.
 *   - A constructor returns a handle holding one reference.
 *   - clone adds a reference and returns the same pointer; free drops one.
 *     The object is destroyed when the last reference is dropped.
 *   - A method call CONSUMES the reference it is given, also when its
 *     arguments fail to convert. To keep your own reference, clone the
 *     handle and pass the clone:
 *         result = hbind_orvane_core_fn_method_session_process(
 *             hbind_orvane_core_fn_clone_session(session, &status), in, mode, &status);
 *   - Using a handle after its last reference was dropped is a host error.
 *
 * Structured values (records, enumerations, optionals, lists, maps) travel
 * inside byte buffers in a fixed big-endian format; a top-level string
 * argument is a buffer holding just its UTF-8 bytes (not validated: pass
 * valid UTF-8). Scalars travel as C values; a bool is an int8_t 0 or 1.
 *
 * ===========================================================================
 * Errors
 * ===========================================================================
 *
 * Every operation takes a CallStatus pointer as its last parameter. Set
 * code = 0 and error_message to an empty buffer before each call. The library
 * writes the status only on failure: code 2 means an argument failed to
 * convert, and error_message then holds "Failed to convert arg '<name>':
 * <reason>" as UTF-8 bytes (no length prefix), which the host frees. After a
 * failure the returned value is the zero value of its type and means nothing.
 * Codes 1 (declared error) and 3 (cancelled future) are never produced.
 *
 * Host errors stop the process with a message on standard error and no
 * status: a null handle given to clone, free or a method; a buffer whose len
 * exceeds its capacity or whose data is null with a non-zero capacity or len;
 * a ForeignSlice with a negative len, or null data and a non-zero len; a
 * failure that must be reported through a null CallStatus; a size that cannot
 * be allocated.
 *
 * ===========================================================================
 * Threads
 * ===========================================================================
 *
 * Every entry point may be called from any thread, several at once. Reference
 * counts change atomically, so handles may be cloned, passed and freed on
 * different threads. A Session serialises process and reset on its own lock
 * (a second caller waits); different sessions run in parallel. A
 * BufferPlanner never changes after construction and takes no lock. The
 * library starts no threads and shares no mutable state between calls.
 *
 * ===========================================================================
 * Versioning
 * ===========================================================================
 *
 * Before the first call, compare ffi_orvane_core_hbind_contract_version()
 * with the version your bindings were generated for (26), and every
 * hbind_orvane_core_checksum_* value with the one they were generated with.
 * Refuse the library on any difference.
 */
#ifndef ORVANE_CORE_H
#define ORVANE_CORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------
 * Boundary types
 * ------------------------------------------------------------------------- */

/* A byte array allocated by the library: len bytes valid, capacity bytes
 * allocated, len <= capacity. Passed by value (24 bytes). */
typedef struct ByteBuffer {
  uint64_t capacity;
  uint64_t len;
  uint8_t* data;
} ByteBuffer;

/* Bytes owned by the host, lent to the library for one call. */
typedef struct ForeignSlice {
  int32_t len;
  const uint8_t* data;
} ForeignSlice;

/* Outcome of a call: 0 success, 2 an argument failed to convert. */
typedef struct CallStatus {
  int8_t code;
  ByteBuffer error_message;
} CallStatus;

/* Object handles: one counted reference each. */
typedef void* OrvaneSessionHandle;
typedef void* OrvaneBufferPlannerHandle;

/* ---------------------------------------------------------------------------
 * Free functions
 * Every buffer argument is consumed; every returned buffer is the host's.
 * ------------------------------------------------------------------------- */

/* face: Rect, method: RoiMethod, detector: FaceDetector, container_width and
 * container_height: optional f32. Returns a Rect buffer the host frees. */
ByteBuffer hbind_orvane_core_fn_func_calculate_roi(ByteBuffer face, ByteBuffer method,
                                                   ByteBuffer detector,
                                                   ByteBuffer container_width,
                                                   ByteBuffer container_height,
                                                   int8_t force_even, CallStatus* status);

/* config: SessionConfig. Returns a BufferConfig buffer the host frees. */
ByteBuffer hbind_orvane_core_fn_func_compute_buffer_config(ByteBuffer config,
                                                           CallStatus* status);

/* a, b: Rect buffers, both consumed. Returns the IoU. */
float hbind_orvane_core_fn_func_compute_iou(ByteBuffer a, ByteBuffer b, CallStatus* status);

/* vital_id: the id's UTF-8 bytes (no length prefix), consumed. Returns an
 * optional VitalInfo buffer the host frees (one byte 00 for an unknown id). */
ByteBuffer hbind_orvane_core_fn_func_get_vital_info(ByteBuffer vital_id, CallStatus* status);

/* inner, outer: Rect buffers, both consumed; min_overlap_pct in 0..1.
 * Returns 0 or 1. */
int8_t hbind_orvane_core_fn_func_is_contained(ByteBuffer inner, ByteBuffer outer,
                                              float min_overlap_pct, CallStatus* status);

/* ---------------------------------------------------------------------------
 * Session
 * ------------------------------------------------------------------------- */

/* config: SessionConfig, consumed. Returns a handle holding one reference,
 * which the host releases with hbind_orvane_core_fn_free_session. */
OrvaneSessionHandle hbind_orvane_core_fn_constructor_session_new(ByteBuffer config,
                                                                 CallStatus* status);

/* Consumes the handle's reference and both buffers (input: SessionInput,
 * mode: WaveformMode). Returns a SessionResult buffer the host frees. */
ByteBuffer hbind_orvane_core_fn_method_session_process(OrvaneSessionHandle session,
                                                       ByteBuffer input, ByteBuffer mode,
                                                       CallStatus* status);

/* Consumes the handle's reference; clears the session's history. */
void hbind_orvane_core_fn_method_session_reset(OrvaneSessionHandle session, CallStatus* status);

/* Adds a reference the host now owns; returns the same handle. status is
 * not used. */
OrvaneSessionHandle hbind_orvane_core_fn_clone_session(OrvaneSessionHandle session,
                                                       CallStatus* status);

/* Drops one reference the host owned; the last one destroys the session.
 * status is not used. */
void hbind_orvane_core_fn_free_session(OrvaneSessionHandle session, CallStatus* status);

/* ---------------------------------------------------------------------------
 * BufferPlanner
 * ------------------------------------------------------------------------- */

/* config: BufferConfig, consumed. Returns a handle holding one reference,
 * which the host releases with hbind_orvane_core_fn_free_bufferplanner. */
OrvaneBufferPlannerHandle hbind_orvane_core_fn_constructor_bufferplanner_new(
    ByteBuffer config, CallStatus* status);

/* Consumes the handle's reference and both buffers (target_roi: Rect,
 * active_buffers: list of BufferMetadata); timestamp in seconds. Returns a
 * BufferAction buffer the host frees. */
ByteBuffer hbind_orvane_core_fn_method_bufferplanner_evaluate_target(
    OrvaneBufferPlannerHandle planner, ByteBuffer target_roi, double timestamp,
    ByteBuffer active_buffers, CallStatus* status);

/* Consumes the handle's reference and the mode buffer (InferenceMode).
 * Returns 0 or 1. */
int8_t hbind_orvane_core_fn_method_bufferplanner_is_ready(OrvaneBufferPlannerHandle planner,
                                                          uint32_t count, ByteBuffer mode,
                                                          int8_t has_state, int8_t flush,
                                                          CallStatus* status);

/* Consumes the handle's reference and both buffers (active_buffers: list of
 * BufferMetadata, mode: InferenceMode); current_time in seconds. Returns an
 * ExecutionPlan buffer the host frees. */
ByteBuffer hbind_orvane_core_fn_method_bufferplanner_poll(OrvaneBufferPlannerHandle planner,
                                                          ByteBuffer active_buffers,
                                                          double current_time, ByteBuffer mode,
                                                          int8_t has_state, int8_t flush,
                                                          CallStatus* status);

/* Adds a reference the host now owns; returns the same handle. */
OrvaneBufferPlannerHandle hbind_orvane_core_fn_clone_bufferplanner(
    OrvaneBufferPlannerHandle planner, CallStatus* status);

/* Drops one reference the host owned; the last one destroys the planner. */
void hbind_orvane_core_fn_free_bufferplanner(OrvaneBufferPlannerHandle planner,
                                             CallStatus* status);

/* ---------------------------------------------------------------------------
 * Byte buffers. status is never written: misuse stops the process.
 * ------------------------------------------------------------------------- */

/* A new zero-filled buffer of len = capacity = size, owned by the host.
 * size 0 gives an empty buffer without allocation. */
ByteBuffer ffi_orvane_core_bytebuffer_alloc(uint64_t size, CallStatus* status);

/* A new buffer, owned by the host, holding a copy of the slice's bytes. The
 * slice stays the host's. */
ByteBuffer ffi_orvane_core_bytebuffer_from_bytes(ForeignSlice bytes, CallStatus* status);

/* Releases a buffer the host owns. */
void ffi_orvane_core_bytebuffer_free(ByteBuffer buf, CallStatus* status);

/* Consumes buf and returns a buffer with the same len and bytes and at least
 * `additional` spare bytes of capacity; the data may move. */
ByteBuffer ffi_orvane_core_bytebuffer_reserve(ByteBuffer buf, uint64_t additional,
                                              CallStatus* status);

/* ---------------------------------------------------------------------------
 * Version and checksums: compare once, before the first call.
 * ------------------------------------------------------------------------- */

uint32_t ffi_orvane_core_hbind_contract_version(void);

uint16_t hbind_orvane_core_checksum_func_calculate_roi(void);
uint16_t hbind_orvane_core_checksum_func_compute_buffer_config(void);
uint16_t hbind_orvane_core_checksum_func_compute_iou(void);
uint16_t hbind_orvane_core_checksum_func_get_vital_info(void);
uint16_t hbind_orvane_core_checksum_func_is_contained(void);
uint16_t hbind_orvane_core_checksum_constructor_session_new(void);
uint16_t hbind_orvane_core_checksum_constructor_bufferplanner_new(void);
uint16_t hbind_orvane_core_checksum_method_session_process(void);
uint16_t hbind_orvane_core_checksum_method_session_reset(void);
uint16_t hbind_orvane_core_checksum_method_bufferplanner_evaluate_target(void);
uint16_t hbind_orvane_core_checksum_method_bufferplanner_is_ready(void);
uint16_t hbind_orvane_core_checksum_method_bufferplanner_poll(void);

/* ---------------------------------------------------------------------------
 * Futures. Part of calling convention 26, but no operation of this library
 * is asynchronous, so no future handle ever exists: calling any of these
 * stops the process with a message on standard error.
 * ------------------------------------------------------------------------- */

typedef void (*OrvaneFutureContinuation)(uint64_t callback_data, int8_t poll_result);

#define ORVANE_CORE_FUTURE_FAMILY(kind, type)                                             \
  void ffi_orvane_core_lib_future_poll_##kind(uint64_t handle,                           \
                                               OrvaneFutureContinuation callback,         \
                                               uint64_t callback_data);                   \
  void ffi_orvane_core_lib_future_cancel_##kind(uint64_t handle);                        \
  type ffi_orvane_core_lib_future_complete_##kind(uint64_t handle, CallStatus* status);  \
  void ffi_orvane_core_lib_future_free_##kind(uint64_t handle);

ORVANE_CORE_FUTURE_FAMILY(u8, uint8_t)
ORVANE_CORE_FUTURE_FAMILY(i8, int8_t)
ORVANE_CORE_FUTURE_FAMILY(u16, uint16_t)
ORVANE_CORE_FUTURE_FAMILY(i16, int16_t)
ORVANE_CORE_FUTURE_FAMILY(u32, uint32_t)
ORVANE_CORE_FUTURE_FAMILY(i32, int32_t)
ORVANE_CORE_FUTURE_FAMILY(u64, uint64_t)
ORVANE_CORE_FUTURE_FAMILY(i64, int64_t)
ORVANE_CORE_FUTURE_FAMILY(f32, float)
ORVANE_CORE_FUTURE_FAMILY(f64, double)
ORVANE_CORE_FUTURE_FAMILY(pointer, void*)
ORVANE_CORE_FUTURE_FAMILY(byte_buffer, ByteBuffer)
ORVANE_CORE_FUTURE_FAMILY(void, void)

#undef ORVANE_CORE_FUTURE_FAMILY

/* ---------------------------------------------------------------------------
 * Interface-description blobs, read-only. Each symbol's ELF size is the
 * blob's length (nm -S, or the dynamic symbol table). Binding generators read
 * them; the checksums above are 16-bit folds of their FNV-1a-64 hashes.
 * A translation unit that declares them with another type defines
 * ORVANE_CORE_NO_BLOB_DECLARATIONS before including this header.
 * ------------------------------------------------------------------------- */

#ifndef ORVANE_CORE_NO_BLOB_DECLARATIONS
extern const uint8_t HBIND_META_NAMESPACE_ORVANE_CORE[];

extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_RECT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_FACEINPUT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_SIGNALINPUT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_SESSIONINPUT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_SESSIONCONFIG[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_VITALRESULT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_WAVEFORMRESULT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_FACERESULT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_SESSIONRESULT[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_VITALINFO[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_BUFFERCONFIG[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_BUFFERMETADATA[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_BUFFERACTION[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_INFERENCECOMMAND[];
extern const uint8_t HBIND_META_ORVANE_CORE_RECORD_EXECUTIONPLAN[];

extern const uint8_t HBIND_META_ORVANE_CORE_ENUM_BUFFERACTIONTYPE[];
extern const uint8_t HBIND_META_ORVANE_CORE_ENUM_INFERENCEMODE[];
extern const uint8_t HBIND_META_ORVANE_CORE_ENUM_FACEDETECTOR[];
extern const uint8_t HBIND_META_ORVANE_CORE_ENUM_ROIMETHOD[];
extern const uint8_t HBIND_META_ORVANE_CORE_ENUM_WAVEFORMMODE[];

extern const uint8_t HBIND_META_ORVANE_CORE_INTERFACE_SESSION[];
extern const uint8_t HBIND_META_ORVANE_CORE_INTERFACE_BUFFERPLANNER[];

extern const uint8_t HBIND_META_ORVANE_CORE_CONSTRUCTOR_SESSION_NEW[];
extern const uint8_t HBIND_META_ORVANE_CORE_CONSTRUCTOR_BUFFERPLANNER_NEW[];

extern const uint8_t HBIND_META_ORVANE_CORE_FUNC_CALCULATE_ROI[];
extern const uint8_t HBIND_META_ORVANE_CORE_FUNC_COMPUTE_BUFFER_CONFIG[];
extern const uint8_t HBIND_META_ORVANE_CORE_FUNC_COMPUTE_IOU[];
extern const uint8_t HBIND_META_ORVANE_CORE_FUNC_GET_VITAL_INFO[];
extern const uint8_t HBIND_META_ORVANE_CORE_FUNC_IS_CONTAINED[];

extern const uint8_t HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_EVALUATE_TARGET[];
extern const uint8_t HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_IS_READY[];
extern const uint8_t HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_POLL[];
extern const uint8_t HBIND_META_ORVANE_CORE_METHOD_SESSION_PROCESS[];
extern const uint8_t HBIND_META_ORVANE_CORE_METHOD_SESSION_RESET[];
#endif

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* ORVANE_CORE_H */
