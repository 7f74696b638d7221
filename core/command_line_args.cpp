#include "core/command_line_args.h"

static bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Appends one character; false when `text` is full (which the rules below
// never reach: an argument never grows beyond the characters it was made from).
static bool Emit(CommandArgs* args, size_t* used, wchar_t c)
{
    if (*used >= COMMAND_LINE_CAPACITY)
        return false;
    args->text[(*used)++] = c;
    return true;
}

static void StartArgument(CommandArgs* args, size_t used, size_t start)
{
    if (args->count == COMMAND_ARGS_CAPACITY) {
        args->cut = true;
        return;
    }
    args->arg[args->count] = args->text + used;
    args->start[args->count] = start;
    ++args->count;
}

// After a quote that opens, closes or stands for itself, the quotes that
// follow it at once count on: every third is a plain quote, and two leave
// the quoting closed.
static bool CountQuotes(const wchar_t* line, size_t length, size_t* at, int* quotes, CommandArgs* args,
                        size_t* used)
{
    for (; *at < length && line[*at] == L'"'; ++*at) {
        if (++*quotes == 3) {
            if (!Emit(args, used, L'"'))
                return false;
            *quotes = 0;
        }
    }
    if (*quotes == 2)
        *quotes = 0;
    return true;
}

// One argument after the program's name, from line[*at]; leaves *at after it.
static bool SplitArgument(const wchar_t* line, size_t length, size_t* at, CommandArgs* args, size_t* used)
{
    int quotes = 0;  // 1 within quotes
    size_t i = *at;
    while (i < length && (quotes || !IsBlank(line[i]))) {
        if (line[i] == L'\\') {
            size_t slashes = 0;
            while (i < length && line[i] == L'\\')
                ++slashes, ++i;
            bool beforeQuote = i < length && line[i] == L'"';
            for (size_t n = beforeQuote ? slashes / 2 : slashes; n > 0; --n)
                if (!Emit(args, used, L'\\'))
                    return false;
            if (beforeQuote && slashes % 2 == 1) {
                ++i;
                if (!Emit(args, used, L'"') || !CountQuotes(line, length, &i, &quotes, args, used))
                    return false;
            }
        } else if (line[i] == L'"') {
            ++quotes;
            ++i;
            if (!CountQuotes(line, length, &i, &quotes, args, used))
                return false;
        } else {
            if (!Emit(args, used, line[i]))
                return false;
            ++i;
        }
    }
    *at = i;
    return true;
}

bool SplitCommandLine(const wchar_t* line, CommandArgs* args)
{
    args->count = 0;
    args->cut = false;
    args->text[0] = L'\0';
    size_t length = 0;
    while (line && length < COMMAND_LINE_CAPACITY && line[length])
        ++length;
    if (!line || length >= COMMAND_LINE_CAPACITY)
        return false;

    // The program's name: no escapes, quoted up to the closing quote.
    size_t used = 0, i = 0;
    StartArgument(args, used, 0);
    if (line[0] == L'"') {
        for (i = 1; i < length && line[i] != L'"'; ++i)
            Emit(args, &used, line[i]);
        if (i < length)
            ++i;
    } else {
        for (; i < length && !IsBlank(line[i]); ++i)
            Emit(args, &used, line[i]);
    }
    Emit(args, &used, L'\0');

    for (;;) {
        while (i < length && IsBlank(line[i]))
            ++i;
        if (i >= length)
            break;
        size_t before = used;
        StartArgument(args, used, i);
        if (!SplitArgument(line, length, &i, args, &used) || !Emit(args, &used, L'\0')) {
            args->count = 0;
            return false;
        }
        // Past the capacity the argument is split only to find where it ends.
        if (args->cut)
            used = before;
    }
    args->text[used < COMMAND_LINE_CAPACITY ? used : COMMAND_LINE_CAPACITY] = L'\0';
    return true;
}
