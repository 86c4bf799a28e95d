// Lets the compiler check printf-style formats of the system's own message functions.
#pragma once

// gnu_printf: MinGW's printf family is the C library's, whose format differs from Microsoft's.
#if defined(__clang__)
#define VESSIKO_PRINTF(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define VESSIKO_PRINTF(format_index, first_arg) \
  __attribute__((format(gnu_printf, format_index, first_arg)))
#endif
