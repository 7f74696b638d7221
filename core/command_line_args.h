// A command line split into arguments by the rules CommandLineToArgvW
// follows, written out so that it can be fed any text: bounded, no system
// call, no allocation. Pure; any thread.
#pragma once
#include <stddef.h>
#include "core/process_command_line.h"

// The hosts' parsers look at the first arguments only.
const size_t COMMAND_ARGS_CAPACITY = 128;

struct CommandArgs {
    size_t count;                               // arguments split, the program's name first
    bool cut;                                   // more arguments followed than were kept
    const wchar_t* arg[COMMAND_ARGS_CAPACITY];  // each in `text`, terminated
    size_t start[COMMAND_ARGS_CAPACITY];        // where each began in the line, for the raw rest
    wchar_t text[COMMAND_LINE_CAPACITY + 1];
};

// Splits `line` (at most 32,767 characters) into `args`. The program's name
// runs to the closing quote or the first blank; after it, blanks (space, tab)
// separate arguments outside quotes, 2n backslashes before a quote give n and
// the quote toggles quoting, 2n+1 give n and a plain quote, and of the quotes
// that follow a quote at once every third is a plain quote (two close the
// quoting), as shell32 has it. False, with no arguments, for a NULL or longer line.
bool SplitCommandLine(const wchar_t* line, CommandArgs* args);
