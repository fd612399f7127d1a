#include "listing/row_texts.h"

#include <cstdio>

void FormatDisplayTexts(TELOMI& record)
{
    std::snprintf(record.DateText, sizeof record.DateText, "%d月/%d日", record.Month, record.Day);
    std::snprintf(record.StartText, sizeof record.StartText, "%.2d:%.2d", record.StartHour, record.StartMinute);
    std::snprintf(record.EndText, sizeof record.EndText, "%.2d:%.2d", record.EndHour, record.EndMinute);
}
