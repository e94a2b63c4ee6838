// Bounded text copies.
#ifndef HARKWIN_TEXT_H
#define HARKWIN_TEXT_H

#include <stddef.h>

// Copies at most capacity - 1 characters of source and always terminates; returns the length copied.
size_t CopyBounded(char* dest, size_t capacity, const char* source);

// Length of the text in data: up to its first NUL or the end of the data.
size_t TextLength(const char* data, size_t size);

#endif
