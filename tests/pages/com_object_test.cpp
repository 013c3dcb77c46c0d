// pagehost's COM objects: made holding one reference, destroyed with the
// last, and counted while they live, which is what lets pagehost tell after
// a page has closed that everything it made was let go.
#include "tools/pagehost/com_object.h"

#include <gtest/gtest.h>

namespace pagehost {
namespace {

class Probe final : public RefCounted, public IUnknown {
public:
    explicit Probe(bool& destroyed) : destroyed_(destroyed) {}
    ~Probe() override { destroyed_ = true; }
    PAGEHOST_IUNKNOWN

private:
    void* Find(REFIID iid) { return iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr; }
    bool& destroyed_;
};

TEST(ComObject, MadeWithOneReferenceAndDestroyedWithTheLast) {
    const long before = RefCounted::Live();
    bool destroyed = false;
    {
        ComPtr<Probe> probe = MakeCom<Probe>(destroyed);
        EXPECT_EQ(RefCounted::Live(), before + 1);
        EXPECT_EQ(probe->AddRef(), 2u) << "the pointer holds the only reference";
        EXPECT_EQ(probe->Release(), 1u);
        ComPtr<IUnknown> other;
        ASSERT_EQ(probe.As(&other), S_OK);
        other.Reset();
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(RefCounted::Live(), before);
}

}  // namespace
}  // namespace pagehost
