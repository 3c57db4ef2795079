#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The searches compare 32 bytes at a time where the compiler can build AVX2 code beside the
// portable one; the processor is asked at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define SPURWERK_HAS_AVX2_SEARCH 1
#endif

// Finds the first occurrence of a byte string in a block of memory, with the fastest method the
// processor offers; every method gives the same answers.
class ByteSearch
{
public:
    enum class Method
    {
        Portable, // the C library's memmem
        Avx2,     // 32 candidate positions per step, by their first and last byte
    };

    explicit ByteSearch(const QByteArray &needle, Method method = fastestMethod());

    static Method fastestMethod();
    static bool isAvailable(Method method);

    // The index of the first occurrence, or -1.
    qsizetype indexIn(const char *data, qsizetype size) const;

private:
    QByteArray m_needle;
    Method m_method;
};
