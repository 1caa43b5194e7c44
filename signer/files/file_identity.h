// What a path names, seen through its spelling: a regular file or something
// else, and whether two paths name one file. Files are told apart by the
// identity of the file a path opens (volume serial number and file index),
// so prefixes ("\\?\", "\\.\"), short names, shares, hard and symbolic
// links all lead to the same answer. Nothing is ever read.
#pragma once
#include <string>

// What is at a path: Other is a device, a pipe, a console, or a file that
// cannot even be opened to look at.
enum class PathKind { Missing, RegularFile, Folder, Other };
PathKind KindOfPath(const std::string& path);

// A regular file on a disk: no folder, device, pipe or console.
bool IsRegularFile(const std::string& path);

// True when the two paths name one file: both open the same file, or,
// where neither opens one, both name the same entry of one folder; and
// always when their full paths are equal in any case. Empty paths name
// nothing.
bool NameOneFile(const std::string& first, const std::string& second);
