// Lets the compiler check printf-style formats of the system's own message functions.
#pragma once

#define VESSIKO_PRINTF(format_index, first_arg) \
  __attribute__((format(gnu_printf, format_index, first_arg)))
