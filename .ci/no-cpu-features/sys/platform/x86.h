/* Stands in for a C library that does not tell the CPU's features. */
#error "<sys/platform/x86.h>: no such header in this C library"
