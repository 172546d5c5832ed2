#include "ui/DecoderUsers.h"

#include <gtest/gtest.h>

namespace {
struct CountingDecoder {
    static int starts, stops;
    static bool refuse;
    bool Start() { return !refuse && ++starts; }
    void Stop() { ++stops; }
};
int CountingDecoder::starts, CountingDecoder::stops;
bool CountingDecoder::refuse;
}  // namespace

TEST(DecoderUsers, RunsFromTheFirstLoadUntilTheLastImageGoes) {
    CDecoderUsers<CountingDecoder> users;
    users.AddUser();  // an image, not yet loaded: nothing started
    EXPECT_EQ(CountingDecoder::starts, 0);
    ASSERT_TRUE(users.Start());
    EXPECT_TRUE(users.Start());  // a second load does not start it again
    users.AddUser();
    users.RemoveUser();
    EXPECT_EQ(CountingDecoder::stops, 0) << "only the last image stops the decoder";
    users.RemoveUser();
    EXPECT_EQ(CountingDecoder::stops, 1);
    // The next load starts it again, and the next last image stops it.
    users.AddUser();
    EXPECT_TRUE(users.Start());
    users.RemoveUser();
    EXPECT_EQ(CountingDecoder::starts, 2);
    EXPECT_EQ(CountingDecoder::stops, 2);
    // A decoder that cannot start is asked again at the next load, and
    // never stopped.
    CountingDecoder::refuse = true;
    users.AddUser();
    EXPECT_FALSE(users.Start());
    users.RemoveUser();
    CountingDecoder::refuse = false;
    EXPECT_EQ(CountingDecoder::stops, 2);
    users.AddUser();
    EXPECT_TRUE(users.Start());
    users.Stop();  // at process exit
    EXPECT_EQ(CountingDecoder::stops, 3);
    users.RemoveUser();
    EXPECT_EQ(CountingDecoder::stops, 3);
}
