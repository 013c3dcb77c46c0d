// Lent gives a lent description back to its owner once, and only one that was
// actually lent.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "win32/lent.h"

namespace {

struct Description {
    int value = 0;
};

// Lends descriptions like a type info does, and notes what comes back.
struct Lender {
    Description lent{7};
    std::vector<Description*> returned;
    HRESULT Lend(Description** out) {
        *out = &lent;
        return S_OK;
    }
    void STDMETHODCALLTYPE GiveBack(Description* description) { returned.push_back(description); }
};

TEST(Lent, GivesTheDescriptionBackOnceAtTheEndOfItsScope) {
    Lender lender;
    {
        Lent<Lender, Description> description(&lender, &Lender::GiveBack);
        ASSERT_EQ(lender.Lend(description.put()), S_OK);
        EXPECT_EQ(description->value, 7);
        EXPECT_TRUE(lender.returned.empty()) << "still in use";
    }
    ASSERT_EQ(lender.returned.size(), 1u);
    EXPECT_EQ(lender.returned[0], &lender.lent);
}

TEST(Lent, GivesNothingBackWhenNothingWasLent) {
    Lender lender;
    {
        Lent<Lender, Description> description(&lender, &Lender::GiveBack);
        EXPECT_FALSE(description);
    }
    EXPECT_TRUE(lender.returned.empty());
}

}  // namespace
