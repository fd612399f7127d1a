#include "listing/row_texts.h"

#include <cstdio>
#include <cstring>

#include "listing/cp932_text.h"

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


int CompareRowTexts(const TELOMI& left, const TELOMI& right, int column)
{
    constexpr size_t ShownBuffer = 30;
    const char* a = RowText(left, column);
    const char* b = RowText(right, column);
    const size_t lengthA = Cp932FitLength(a, std::strlen(a), ShownBuffer - 1);
    const size_t lengthB = Cp932FitLength(b, std::strlen(b), ShownBuffer - 1);
    for (size_t i = 0;; ++i) {
        const unsigned byteA = i < lengthA ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned byteB = i < lengthB ? static_cast<unsigned char>(b[i]) : 0;
        if (byteA != byteB)
            return byteA < byteB ? -1 : 1;
        if (byteA == 0)
            return 0;
    }
}
