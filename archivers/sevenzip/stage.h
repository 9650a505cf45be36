// One stream of a folder being decoded, pulled by whatever consumes it: a packed stream read
// from the file, or a coder's output. Each stage knows how long its stream must be and checks
// that its decoder ends exactly there, having used exactly all of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace varnelt::archiver::sevenzip {

class Stage {
public:
    explicit Stage(uint64_t size) : size_(size), remaining_(size) {}
    virtual ~Stage() = default;
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Up to out.size() bytes of the stream. 0 only at its end, once every check of the end
    // has passed. Throws Fault.
    size_t read(std::span<uint8_t> out);
    // For a consumer that has read all it expected: the stream must end here.
    void expectEnd();
    uint64_t size() const { return size_; }

protected:
    // Some bytes, never more than out.size() (which never exceeds what is left of the
    // stream); 0 when the decoder ended before the stream's size was reached.
    virtual size_t produce(std::span<uint8_t> out) = 0;
    // The whole stream was produced: the decoder must end here and have used all its input.
    virtual void finish() = 0;

private:
    const uint64_t size_;
    uint64_t remaining_;
    bool finished_ = false;
};

// A coder's input: the stage that feeds it, read ahead into a buffer of fixed size.
class InputWindow {
public:
    // The buffer holds at most capacity bytes, and no more than the whole source.
    InputWindow(std::unique_ptr<Stage> source, size_t capacity);

    // The buffered bytes, refilled when none are left; empty only at the source's end.
    std::span<const uint8_t> available();
    void consume(size_t count) { begin_ += count; }
    // True when the source has ended, its end checked, and every byte was consumed.
    bool exhausted() { return available().empty(); }

private:
    std::unique_ptr<Stage> source_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool sourceEnded_ = false;
};

}  // namespace varnelt::archiver::sevenzip
