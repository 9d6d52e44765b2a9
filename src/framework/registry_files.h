// The registry files in the working directory: the description file read at start-up and
// written at tear-down, the parameter table and the wave-channel list.
//
// File names carry a run identifier: "allDescriptions_<id>.tsv", "allParams_<id>.tbl",
// "RecordWaves_<id>.tsv". Files are opened in binary mode, so every written line ends in a
// single LF on every platform; the reader accepts LF and CR LF line ends.
#pragma once

#include "framework/alloc.h"
#include "framework/registry.h"

namespace svg {

// Applies every line of "allDescriptions_<run id>.tsv" (name, type and default of one
// parameter) to the registry, with no field. A line is taken without its line end (LF or
// CR LF); a line longer than 255 characters is skipped whole. 0, also when the file is
// missing; 1 when the registry is null.
//
// The file is the one users edit by hand, so nothing in it is dropped or read differently in
// silence: each line that is too long, lacks a name, type or default, has an unknown type, or
// whose default does not read completely as a number of its type (its leading digits are
// used, or 0) is reported once on standard error as "<file>:<line>: <what>". Blank lines are
// skipped without a word. Standard output is left to the system's fixed messages.
int ReadDescriptions(SignalRegistry* registry) noexcept;

// After the modules have registered: reports on standard error each line of the description
// file whose name no module registered ("<file>:<line>: <name> names no parameter of this
// controller; kept and written back"). Such lines stay in the registry and in the written file,
// since a file may carry another build's entries.
void ReportUnclaimedDescriptions(SignalRegistry* registry) noexcept;

// Writers: one line per entry in entry order, formatted in a text buffer of 256 characters
// per entry (and one line more) taken from `a`. 1 when the buffer cannot be allocated; 0
// otherwise, also when the file cannot be created (it is then skipped).

// "allParams_<run id>.tbl": a source-like listing of every entry with its field address,
// type code, default and chain link. An empty registry gives the opening and closing lines.
int WriteParameterTable(const SignalRegistry& registry, const Allocator& a) noexcept;
// "allDescriptions_<run id>.tsv": "<name>\t\ttype=<type>\t\tdefault=<%f>", the format the
// start-up read accepts. A type code outside the table writes an empty type text.
int WriteDescriptions(const SignalRegistry& registry, const Allocator& a) noexcept;
// "RecordWaves_<run id>.tsv": the recordable signals, numbered from 1, UTF-8 text.
int WriteWaveChannels(const SignalRegistry& registry, const Allocator& a) noexcept;

// A pointer as fixed-width uppercase hex digits without "0x": two per byte of a pointer (16 on
// a 64-bit, 8 on a 32-bit platform), null as zeros.
inline constexpr int kPointerDigits = 2 * static_cast<int>(sizeof(void*));
void FormatPointer(const void* pointer, char (&out)[kPointerDigits + 1]) noexcept;

}  // namespace svg
