// printf-style checking of format strings. A build whose C library formats
// otherwise than the compiler assumes names the archetype: the Windows build
// uses MinGW's ANSI printf (%zu, %lld) and so "gnu_printf".
#pragma once

#ifndef AFX_PRINTF_ARCHETYPE
#define AFX_PRINTF_ARCHETYPE printf
#endif
#define AFX_PRINTF_FORMAT(fmt, first) __attribute__((format(AFX_PRINTF_ARCHETYPE, fmt, first)))
