#include "base/text.h"

size_t CopyBounded(char* dest, size_t capacity, const char* source) {
    if (capacity == 0) return 0;
    size_t n = 0;
    if (source)
        for (; n + 1 < capacity && source[n] != '\0'; ++n) dest[n] = source[n];
    dest[n] = '\0';
    return n;
}

size_t TextLength(const char* data, size_t size) {
    size_t n = 0;
    if (data)
        while (n < size && data[n] != '\0') ++n;
    return n;
}
