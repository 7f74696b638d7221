// The report as CSV for a spreadsheet: UTF-8 with a byte-order mark, one
// row per process and per startup entry (the "kind" column), RFC 4180
// quoting, the JSON's fields flattened ("notes" and "runs" joined by "; ",
// modules left out). One thread.
#pragma once
#include <windows.h>
#include "app/report_fields.h"
#include "app/report_sink.h"

void BeginCsvReport(ReportSink* sink);
void WriteCsvProcess(ReportSink* sink, const ReportProcess* process, int isNew);
void WriteCsvStartup(ReportSink* sink, const ReportStartup* entry, int isNew);

// One cell, quoted when it holds a comma, a quote or a line break (quotes doubled);
// one that starts with = + - @ has an apostrophe first, so no spreadsheet takes it for a formula.
void SinkCsvCell(ReportSink* sink, const wchar_t* text);
