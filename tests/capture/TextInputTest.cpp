// How the text readers take a stream apart into lines, whatever the stream
// hands over at a time.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "capture/TextInput.h"

namespace tovanel {
namespace {

// Hands its text over one character per read, with nothing ready in
// between (as an unbuffered stream does), and fails at `failAt`.
class TrickleBuf : public std::streambuf {
public:
    TrickleBuf(std::string text, size_t failAt) : text_(std::move(text)), failAt_(failAt) {}

protected:
    int_type underflow() override {
        if (pos_ >= failAt_) throw std::runtime_error("the device went away");
        if (pos_ >= text_.size()) return traits_type::eof();
        current_ = text_[pos_++];
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

private:
    std::string text_;
    size_t failAt_;
    size_t pos_ = 0;
    char current_ = 0;
};

struct Line {
    bool newBurst;
    std::string text;
    int line;
    bool operator==(const Line&) const = default;
};

std::vector<Line> Lines(std::istream& in) {
    std::vector<Line> lines;
    ReadCodeTextLines(in, [&](const CodeTextLine& l) { lines.push_back({l.newBurst, l.text, l.line}); });
    return lines;
}

TEST(TextInput, LinesAreTheSameWhateverTheStreamHandsOverAtATime) {
    const std::string longLine(200000, 'x');  // longer than a block of reading
    const std::string text = "first\r\n\nsecond\n" + longLine + "\nlast";
    const std::vector<Line> want = {{true, "first", 1}, {true, "second", 3}, {false, longLine, 4}, {false, "last", 5}};

    std::istringstream whole(text);
    EXPECT_EQ(Lines(whole), want);
    EXPECT_TRUE(whole.eof());
    EXPECT_FALSE(whole.bad());

    TrickleBuf trickle(text, text.size() + 1);
    std::istream trickled(&trickle);
    EXPECT_EQ(Lines(trickled), want);
    EXPECT_FALSE(trickled.bad());

    // A line break at the very end makes no empty last line.
    std::istringstream ended("a\nb\n");
    EXPECT_EQ(Lines(ended), (std::vector<Line>{{true, "a", 1}, {false, "b", 2}}));

    // A stream that fails is bad afterwards, and the lines before the
    // failure were handed on; the unfinished one is not.
    TrickleBuf failing(text, 17);
    std::istream broken(&failing);
    EXPECT_EQ(Lines(broken), (std::vector<Line>{{true, "first", 1}, {true, "second", 3}}));
    EXPECT_TRUE(broken.bad());
}

}  // namespace
}  // namespace tovanel
