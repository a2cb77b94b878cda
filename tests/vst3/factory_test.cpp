// The module as a host's scanner sees it: exports, factory and class information.
#include "host_fixture.h"

namespace brimo::test {
namespace {

TEST(BundleFactory, DescribesOneEqualiserClass) {
    auto m = module();
    ASSERT_TRUE(m);
    host::FactoryInfo f = m->factoryInfo();
    EXPECT_EQ(f.vendor, "KwillowAudioLab");
    EXPECT_EQ(f.flags, Steinberg::PFactoryInfo::kUnicode);

    auto classes = m->classes();
    ASSERT_EQ(classes.size(), 1u);
    const host::ClassInfo& c = classes[0];
    EXPECT_EQ(c.name, "BRIMO");
    EXPECT_EQ(c.category, "Audio Module Class");
    EXPECT_EQ(c.subCategories, "Fx|EQ");
    EXPECT_EQ(c.version, "2.0.0");
    EXPECT_EQ(c.sdkVersion, "VST 3.6.12");
    EXPECT_EQ(c.vendor, "");
    EXPECT_EQ(c.cardinality, Steinberg::PClassInfo::kManyInstances);
    EXPECT_EQ(c.classFlags, 2u);
    // What hosts and .vstpreset files store: one string on every platform.
    EXPECT_EQ(host::toString(c.cid), "F2AEE70D00DE4F4E4B77696C42726D31");
#ifdef _WIN32
    // Windows keeps the GUID bytes that existing projects were saved with.
    const host::ClassId windowsBytes = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                        'K',  'w',  'i',  'l',  'B',  'r',  'm',  '1'};
    EXPECT_EQ(c.cid, windowsBytes);
#endif
}

TEST(BundleFactory, RepeatedLookupSharesOneFactory) {
    auto m = module();
    ASSERT_TRUE(m);
    std::string why;
    auto again = host::Module::load(modulePath(), &why);  // the library is loaded once
    ASSERT_TRUE(again) << why;
    EXPECT_EQ(again->factory(), m->factory());
    again.reset();  // releasing the second reference leaves the first usable
    EXPECT_EQ(m->classes().size(), 1u);
    EXPECT_TRUE(makePlugin());
}

TEST(BundleFactory, UnknownClassOrInterfaceIsRefused) {
    auto m = module();
    ASSERT_TRUE(m);
    Steinberg::TUID none = {};
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_NE(m->factory()->createInstance(none, Steinberg::Vst::IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
    std::string why;
    EXPECT_FALSE(m->createPlugin(host::ClassId{}, {}, &why));
    EXPECT_FALSE(why.empty());
}

TEST(BundleFactory, InstanceIsOneObjectServingEveryRole) {
    auto p = makePlugin();
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->isSingleComponent());
    EXPECT_EQ(p->componentInitializeResult(), kResultOk);
    ASSERT_TRUE(p->unitInfo());
    // The component's IComponent and IEditController are the same object.
    Steinberg::FUnknown* a = nullptr;
    Steinberg::FUnknown* b = nullptr;
    p->component()->queryInterface(Steinberg::FUnknown::iid, reinterpret_cast<void**>(&a));
    p->controller()->queryInterface(Steinberg::FUnknown::iid, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);
    if (a) a->release();
    if (b) b->release();
}

}  // namespace
}  // namespace brimo::test
