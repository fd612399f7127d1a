#include "listing/row_texts.h"

#include <cstddef>
#include <cstdio>

void FormatDisplayTexts(TELOMI& record)
{
    std::snprintf(record.DateText, sizeof record.DateText, "%d月/%d日", record.Month, record.Day);
    std::snprintf(record.StartText, sizeof record.StartText, "%.2d:%.2d", record.StartHour, record.StartMinute);
    std::snprintf(record.EndText, sizeof record.EndText, "%.2d:%.2d", record.EndHour, record.EndMinute);
}

const char* RowText(const TELOMI& record, int column)
{
    const char* const texts[RowColumnCount] = {record.Title,     record.Subtitle, record.Station,
                                               record.DateText,  record.StartText, record.EndText,
                                               record.Performers, record.Other};
    return column >= 0 && column < RowColumnCount ? texts[column] : "";
}

namespace {

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// How many bytes of text a buffer of `size` bytes shows, whole characters only.
size_t ShownLength(const char* text, size_t size)
{
    size_t length = 0;
    while (text[length]) {
        const size_t step = IsLeadByte(static_cast<unsigned char>(text[length])) && text[length + 1] ? 2 : 1;
        if (length + step > size - 1)
            break;
        length += step;
    }
    return length;
}

} // namespace

int CompareRowTexts(const TELOMI& left, const TELOMI& right, int column)
{
    constexpr size_t ShownBuffer = 30;
    const char* a = RowText(left, column);
    const char* b = RowText(right, column);
    const size_t lengthA = ShownLength(a, ShownBuffer);
    const size_t lengthB = ShownLength(b, ShownBuffer);
    for (size_t i = 0;; ++i) {
        const unsigned byteA = i < lengthA ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned byteB = i < lengthB ? static_cast<unsigned char>(b[i]) : 0;
        if (byteA != byteB)
            return byteA < byteB ? -1 : 1;
        if (byteA == 0)
            return 0;
    }
}
