// The fixture of the libunzip32 tests: the library bound as the program binds it, and a
// scratch folder for the archives a test makes.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {

inline const LibraryUnderTest kUnzip{"libunzip32.so", "UnZip", "-t -qq"};

class ZipLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unzip_.loaded()); }

    // Writes the bytes under name in the scratch folder and answers the full path.
    QString save(const QString& name, const QByteArray& bytes) {
        const QString path = scratch_.path(name);
        writeFile(path, bytes);
        return path;
    }

    ScratchDir scratch_;
    BoundLibrary unzip_{kUnzip};
};

}  // namespace varnelt::test
