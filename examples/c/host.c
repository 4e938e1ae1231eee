/*
 * A minimal C host of liborvane_core.
 *
 * Checks the contract version, creates a Session, feeds it ten seconds of a
 * 72-per-minute pulse in one batch, prints the vitals and message of the
 * result, and releases everything it was given. Values are serialised by
 * hand: big-endian numbers, i32 lengths and counts, an optional as a tag
 * byte, an enumeration as its i32 variant number (from 1) and payload.
 *
 * Exit status: 0 when the heart rate comes back near 72, 1 otherwise.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvane_core.h"

#define FPS 30.0f
#define FRAMES 300 /* ten seconds */

/* ---- Writing ------------------------------------------------------------ */

typedef struct {
  uint8_t* data;
  size_t len;
  size_t capacity;
} Writer;

static void put(Writer* w, const void* bytes, size_t n) {
  if (w->len + n > w->capacity) {
    size_t capacity = w->capacity ? w->capacity * 2 : 256;
    while (capacity < w->len + n) capacity *= 2;
    uint8_t* grown = realloc(w->data, capacity);
    if (!grown) abort();
    w->data = grown;
    w->capacity = capacity;
  }
  memcpy(w->data + w->len, bytes, n);
  w->len += n;
}

static void put_u8(Writer* w, uint8_t v) { put(w, &v, 1); }

static void put_u32(Writer* w, uint32_t v) {
  uint8_t b[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
  put(w, b, 4);
}

static void put_u64(Writer* w, uint64_t v) {
  put_u32(w, (uint32_t)(v >> 32));
  put_u32(w, (uint32_t)v);
}

static void put_f32(Writer* w, float v) {
  uint32_t bits;
  memcpy(&bits, &v, 4);
  put_u32(w, bits);
}

static void put_f64(Writer* w, double v) {
  uint64_t bits;
  memcpy(&bits, &v, 8);
  put_u64(w, bits);
}

static void put_str(Writer* w, const char* s) {
  put_u32(w, (uint32_t)strlen(s));
  put(w, s, strlen(s));
}

/* Hands the bytes to the library as a buffer it will own. */
static ByteBuffer to_buffer(Writer* w) {
  ForeignSlice slice = {(int32_t)w->len, w->data};
  ByteBuffer buf = ffi_orvane_core_bytebuffer_from_bytes(slice, NULL);
  free(w->data);
  memset(w, 0, sizeof *w);
  return buf;
}

/* ---- Reading ------------------------------------------------------------ */

typedef struct {
  const uint8_t* data;
  size_t len;
  size_t pos;
  int failed;
} Reader;

static const uint8_t* take(Reader* r, size_t n) {
  if (r->failed || r->len - r->pos < n) {
    r->failed = 1;
    return NULL;
  }
  r->pos += n;
  return r->data + r->pos - n;
}

static uint32_t get_u32(Reader* r) {
  const uint8_t* p = take(r, 4);
  return p ? (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3] : 0;
}

static float get_f32(Reader* r) {
  uint32_t bits = get_u32(r);
  float v;
  memcpy(&v, &bits, 4);
  return v;
}

static void skip(Reader* r, size_t n) { take(r, n); }

static int32_t get_count(Reader* r) {
  int32_t n = (int32_t)get_u32(r);
  if (n < 0) r->failed = 1;
  return r->failed ? 0 : n;
}

/* A string as pointer and length into the buffer (not NUL-terminated). */
static const char* get_str(Reader* r, int* len) {
  *len = get_count(r);
  return (const char*)take(r, (size_t)*len);
}

static void skip_floats(Reader* r, size_t width) { skip(r, (size_t)get_count(r) * width); }

static void skip_waveform(Reader* r) {
  int len;
  skip_floats(r, 4); /* data */
  skip_floats(r, 4); /* confidence */
  get_str(r, &len);  /* unit */
  get_str(r, &len);  /* note */
}

/* ---- The host ------------------------------------------------------------ */

static int check(const char* what, CallStatus* status) {
  if (status->code == 0) return 1;
  fprintf(stderr, "%s failed (status %d): %.*s\n", what, status->code,
          (int)status->error_message.len, (const char*)status->error_message.data);
  ffi_orvane_core_bytebuffer_free(status->error_message, NULL);
  return 0;
}

int main(void) {
  if (ffi_orvane_core_hbind_contract_version() != 26) {
    fprintf(stderr, "library speaks another calling convention\n");
    return 1;
  }
  CallStatus status = {0};

  /* SessionConfig: model_name, supported_vitals, return_waveforms (absent),
   * fps_target, input_size, n_inputs, roi_method, estimate_rolling_vitals (absent). */
  Writer w = {0};
  put_str(&w, "example-model");
  put_u32(&w, 1);
  put_str(&w, "heart_rate");
  put_u8(&w, 0);
  put_f32(&w, FPS);
  put_u64(&w, 40);
  put_u64(&w, 4);
  put_str(&w, "face");
  put_u8(&w, 0);
  void* session = hbind_orvane_core_fn_constructor_session_new(to_buffer(&w), &status);
  if (!check("Session.new", &status)) return 1;

  /* SessionInput: face (absent), signals {"ppg": SignalInput}, timestamp. */
  put_u8(&w, 0);
  put_u32(&w, 1);
  put_str(&w, "ppg");
  put_u32(&w, FRAMES);
  for (int i = 0; i < FRAMES; ++i) put_f32(&w, sinf(2.0f * 3.14159265f * 1.2f * (float)i / FPS));
  put_u32(&w, FRAMES);
  for (int i = 0; i < FRAMES; ++i) put_f32(&w, 1.0f);
  put_u32(&w, FRAMES);
  for (int i = 0; i < FRAMES; ++i) put_f64(&w, (double)i / FPS);
  ByteBuffer input = to_buffer(&w);
  put_u32(&w, 1); /* WaveformMode::Incremental */
  ByteBuffer mode = to_buffer(&w);

  /* The call consumes the reference it is given: pass a clone, keep ours. */
  ByteBuffer out = hbind_orvane_core_fn_method_session_process(
      hbind_orvane_core_fn_clone_session(session, NULL), input, mode, &status);
  if (!check("Session.process", &status)) {
    hbind_orvane_core_fn_free_session(session, NULL);
    return 1;
  }

  /* SessionResult: timestamp, face?, waveforms, vitals, rolling_vitals?, fps, message. */
  Reader r = {out.data, (size_t)out.len, 0, 0};
  int len;
  float heart_rate = NAN;
  skip_floats(&r, 8);
  if (take(&r, 1) && r.data[r.pos - 1] == 1) {
    for (int32_t i = 0, n = get_count(&r); i < n; ++i) skip_floats(&r, 4);
    skip_floats(&r, 4);
    if (take(&r, 1) && r.data[r.pos - 1] == 1) get_str(&r, &len);
  }
  for (int32_t i = 0, n = get_count(&r); i < n; ++i) {
    get_str(&r, &len);
    skip_waveform(&r);
  }
  for (int32_t i = 0, n = get_count(&r); i < n && !r.failed; ++i) {
    int id_len, unit_len, note_len;
    const char* id = get_str(&r, &id_len);
    float value = get_f32(&r);
    float confidence = get_f32(&r);
    const char* unit = get_str(&r, &unit_len);
    const char* note = get_str(&r, &note_len);
    if (r.failed) break;
    printf("%.*s = %.2f %.*s (confidence %.2f): %.*s\n", id_len, id, value, unit_len, unit,
           confidence, note_len, note);
    if (id_len == 10 && memcmp(id, "heart_rate", 10) == 0) heart_rate = value;
  }
  if (take(&r, 1) && r.data[r.pos - 1] == 1) {
    for (int32_t i = 0, n = get_count(&r); i < n; ++i) {
      get_str(&r, &len);
      skip_waveform(&r);
    }
  }
  float fps = get_f32(&r);
  const char* message = get_str(&r, &len);
  int decoded = !r.failed && r.pos == r.len;
  if (decoded) printf("fps %.2f\nmessage: %.*s\n", fps, len, message);

  ffi_orvane_core_bytebuffer_free(out, NULL);
  hbind_orvane_core_fn_free_session(session, NULL);

  if (!decoded) {
    fprintf(stderr, "result did not decode\n");
    return 1;
  }
  if (!(fabsf(heart_rate - 72.0f) < 2.0f)) {
    fprintf(stderr, "heart rate %.2f is not near 72\n", heart_rate);
    return 1;
  }
  return 0;
}
