// A Microsoft cabinet read through libmspack: its headers, and a full test that decodes every
// folder once, front to back, so that every CFDATA checksum is checked.
#pragma once

#include <mspack.h>

#include <cstdint>
#include <memory>

#include "cab_system.h"
#include "input_file.h"

namespace varnelt::archiver::cab {

struct DecompressorDestroyer {
    void operator()(mscab_decompressor* decompressor) const;
};

struct CabinetCloser {
    mscab_decompressor* decompressor = nullptr;
    void operator()(mscabd_cabinet* cabinet) const;
};

// The first cabinet in the file.
class Cabinet {
public:
    explicit Cabinet(const InputFile& file) : file_(file), system_(file) {}

    // OK once the headers are read, else an error code.
    int32_t open();
    // After open(): checks that every file lies inside its folder's decoded data, then decodes
    // each folder once into sink (an MSZIP folder that the fast inflater gave up on is given to
    // sink again from its start, by libmspack). OK or an error code.
    int32_t verify(DecodedSink& sink);

    const mscabd_cabinet& cabinet() const { return *cabinet_; }
    bool behindStub() const { return executable_ && cabinet_->base_offset > 0; }

private:
    const InputFile& file_;
    CabSystem system_;
    bool executable_ = false;
    // Declared after the decompressor: the cabinet must be closed first.
    std::unique_ptr<mscab_decompressor, DecompressorDestroyer> decompressor_;
    std::unique_ptr<mscabd_cabinet, CabinetCloser> cabinet_;
};

}  // namespace varnelt::archiver::cab
