/* A library for the external-call tests: one function per kind of signature. */
#include <errno.h>
#include <stdint.h>
#include <string.h>

/* Wraps like the 32-bit hardware add, without signed overflow. */
int32_t add_i32(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
int64_t mul_i64(int64_t a, int64_t b) { return a * b; }
int8_t neg_i8(int8_t a) { return (int8_t)-a; }
uint8_t not_u8(uint8_t a) { return (uint8_t)~a; }
int16_t neg_i16(int16_t a) { return (int16_t)-a; }
uint16_t inc_u16(uint16_t a) { return (uint16_t)(a + 1); }
uint32_t max_u32(void) { return 0xFFFFFFFFu; }
double scale(double v, int32_t by) { return v * by; }
uint8_t bool_and(uint8_t a, uint8_t b) { return a && b; }
int32_t long_bool(int32_t a) { return a != 0; }
void* echo_ptr(void* p) { return p; }

int32_t wide_len(const uint16_t* s) {
  int32_t n = 0;
  while (s && s[n]) ++n;
  return n;
}
int32_t ansi_len(const char* s) { return s ? (int32_t)strlen(s) : -1; }

/* Fills a buffer the caller made: "K\u00f6ln" and a terminating zero. */
void fill_wide(uint16_t* buf, int32_t cap) {
  const uint16_t text[] = {'K', 0xF6, 'l', 'n', 0};
  for (int32_t i = 0; i < cap && i < 5; ++i) buf[i] = text[i];
}
void fill_ansi(char* buf, int32_t cap) {
  const char text[] = "K\xC3\xB6ln";
  for (int32_t i = 0; i < cap && i < (int32_t)sizeof text; ++i) buf[i] = text[i];
}
void inc_var(int32_t* v) { ++*v; }
void half_var(double* v) { *v /= 2; }
const uint16_t* greet_wide(void) {
  static const uint16_t text[] = {'h', 0xE9, 'l', 'l', 'o', 0};
  return text;
}
const char* greet_ansi(void) { return "h\xC3\xA9llo"; }
int32_t fail_with(int32_t e) {
  errno = e;
  return -1;
}
/* Counts its calls: starts again at 1 once the library was unloaded and loaded again. */
int32_t count_calls(void) {
  static int32_t n;
  return ++n;
}
