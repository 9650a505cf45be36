// Cabinets with a file table of the test's choosing, made from one that gcab wrote: gcab keeps
// each file apart, while other tools let files of one folder overlap or lie anywhere in it.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace varnelt::test::cab {

struct FileRecord {
    QByteArray name;
    uint32_t offset = 0;  // in the folder's decoded data
    uint32_t length = 0;
    uint16_t folder = 0;
};

// The cabinet with its CFFILE table replaced by files, every folder's data moved to make room.
// The cabinet must have no reserved areas and no neighbouring cabinets, as gcab writes it.
QByteArray withFiles(const QByteArray& cabinet, const QList<FileRecord>& files);

// Offset of the first CFDATA block of the first folder.
qsizetype firstDataBlock(const QByteArray& cabinet);

}  // namespace varnelt::test::cab
