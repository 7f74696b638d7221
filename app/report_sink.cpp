#include "app/report_sink.h"
#include <string.h>

void StartReportSink(ReportSink* sink, HANDLE file)
{
    sink->file = file;
    sink->failed = false;
    sink->error = 0;
    sink->used = 0;
}

static void WriteBuffered(ReportSink* sink)
{
    DWORD written = 0;
    if (sink->used && !sink->failed &&
        (!WriteFile(sink->file, sink->buffer, (DWORD)sink->used, &written, NULL) || written != sink->used)) {
        sink->failed = true;
        sink->error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    sink->used = 0;
}

void SinkBytes(ReportSink* sink, const char* bytes, size_t count)
{
    while (count) {
        if (sink->used == REPORT_SINK_BUFFER)
            WriteBuffered(sink);
        size_t room = REPORT_SINK_BUFFER - sink->used;
        size_t part = count < room ? count : room;
        memcpy(sink->buffer + sink->used, bytes, part);
        sink->used += part;
        bytes += part;
        count -= part;
    }
}

void SinkText(ReportSink* sink, const char* text)
{
    SinkBytes(sink, text, strlen(text));
}

unsigned int NextCodePoint(const wchar_t* text, size_t length, size_t* at)
{
    unsigned int unit = (unsigned short)text[(*at)++];
    if (unit >= 0xD800 && unit <= 0xDBFF && *at < length) {
        unsigned int low = (unsigned short)text[*at];
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++*at;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return (unit >= 0xD800 && unit <= 0xDFFF) ? 0xFFFD : unit;
}

void SinkWide(ReportSink* sink, const wchar_t* text, size_t length)
{
    for (size_t at = 0; at < length;) {
        unsigned int c = NextCodePoint(text, length, &at);
        char bytes[4];
        size_t count = 0;
        if (c < 0x80) {
            bytes[count++] = (char)c;
        } else if (c < 0x800) {
            bytes[count++] = (char)(0xC0 | (c >> 6));
            bytes[count++] = (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[count++] = (char)(0xE0 | (c >> 12));
            bytes[count++] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = (char)(0x80 | (c & 0x3F));
        } else {
            bytes[count++] = (char)(0xF0 | (c >> 18));
            bytes[count++] = (char)(0x80 | ((c >> 12) & 0x3F));
            bytes[count++] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = (char)(0x80 | (c & 0x3F));
        }
        SinkBytes(sink, bytes, count);
    }
}

bool FlushReportSink(ReportSink* sink)
{
    WriteBuffered(sink);
    return !sink->failed;
}
