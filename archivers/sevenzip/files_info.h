// The file list of a 7z header, checked property by property but summarised, not stored:
// the count, how many files have data, and the first file's name.
#pragma once

#include "../core/failure.h"
#include "byte_reader.h"
#include "model.h"

namespace varnelt::archiver::sevenzip {

// Reads from just after the kFilesInfo identifier through the list's terminating 0.
FilesSummary parseFilesInfo(ByteReader& reader);

// The file with data numbered dataIndex (from 0, in list order: the one whose data is that
// substream of all folders), for a reason; its name stays empty when the list has none.
EntryLabel dataFileLabel(const FilesSummary& files, uint64_t dataIndex);

// A stored UTF-16LE name as UTF-8; an unpaired surrogate becomes U+FFFD. "\" is an ordinary
// character in 7z names: writers store "/" between folders.
std::string utf16leToUtf8(std::span<const uint8_t> name);

}  // namespace varnelt::archiver::sevenzip
