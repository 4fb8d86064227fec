#include <gtest/gtest.h>

#include "driver/Drv.h"

namespace {

// Counts live instances so a test can see that the array frees what it owns.
struct Counted {
    static inline int alive = 0;
    int value;
    explicit Counted(int v) : value(v) { ++alive; }
    ~Counted() { --alive; }
};

}  // namespace

TEST(RecordArray, KeepsOrderAndAnswersNullForAnIndexPastTheEnd) {
    CRecordArray<Counted> list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetAt(0), nullptr);
    for (int v : {7, 8, 9}) list.Add(std::make_unique<Counted>(v));
    ASSERT_EQ(list.GetSize(), 3u);
    EXPECT_EQ(list.GetAt(0)->value, 7);
    EXPECT_EQ(list.GetAt(2)->value, 9);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(static_cast<std::size_t>(-1)), nullptr);
}

TEST(RecordArray, FreesItsRecordsWhenClearedAndWhenDestroyed) {
    {
        CRecordArray<Counted> list;
        list.Add(std::make_unique<Counted>(1));
        list.Add(std::make_unique<Counted>(2));
        EXPECT_EQ(Counted::alive, 2);
        list.RemoveAll();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_TRUE(list.IsEmpty());
        list.Add(std::make_unique<Counted>(3));
    }
    EXPECT_EQ(Counted::alive, 0);
}
