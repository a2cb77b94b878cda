// The module as a host's scanner sees it: exports, factory and class information.
#include "BundleFixture.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace brimo::test {
namespace {

// Just enough JSON to read moduleinfo.json: a value tree, or nothing when the text is not JSON.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;
  const Json& operator[](const std::string& key) const {
    static const Json none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
  }
};

class JsonReader {
public:
  explicit JsonReader(std::string text) : s_(std::move(text)) {}
  std::optional<Json> read() {
    Json v;
    if (!value(v)) return std::nullopt;
    space();
    return pos_ == s_.size() ? std::optional<Json>(v) : std::nullopt;
  }

private:
  void space() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool eat(char c) {
    space();
    if (pos_ < s_.size() && s_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool word(const char* w) {
    const std::size_t n = std::strlen(w);
    if (s_.compare(pos_, n, w) != 0) return false;
    pos_ += n;
    return true;
  }
  bool string(std::string& out) {
    if (!eat('"')) return false;
    for (; pos_ < s_.size() && s_[pos_] != '"'; ++pos_) {
      if (s_[pos_] == '\\' && ++pos_ == s_.size()) return false;
      out += s_[pos_];
    }
    return pos_++ < s_.size();
  }
  bool value(Json& v) {
    space();
    if (pos_ >= s_.size()) return false;
    const char c = s_[pos_];
    if (c == '"') return v.kind = Json::String, string(v.text);
    if (c == '[') {
      ++pos_;
      v.kind = Json::Array;
      if (eat(']')) return true;
      do {
        v.items.emplace_back();
        if (!value(v.items.back())) return false;
      } while (eat(','));
      return eat(']');
    }
    if (c == '{') {
      ++pos_;
      v.kind = Json::Object;
      if (eat('}')) return true;
      do {
        std::string key;
        if (!string(key) || !eat(':') || !value(v.members[key])) return false;
      } while (eat(','));
      return eat('}');
    }
    if (word("true")) return v.kind = Json::Bool, v.boolean = true, true;
    if (word("false")) return v.kind = Json::Bool, true;
    if (word("null")) return true;
    std::size_t used = 0;
    try {
      v.number = std::stod(s_.substr(pos_), &used);
    } catch (...) {
      return false;
    }
    pos_ += used;
    return v.kind = Json::Number, true;
  }
  std::string s_;
  std::size_t pos_ = 0;
};

// Hosts that read the bundle's moduleinfo.json list the plug-in without loading it: the file
// must say exactly what the loaded factory says.
TEST(BundleFactory, ModuleInfoMatchesTheLoadedFactory) {
  std::string path = BRIMO_TEST_MODULEINFO;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  const std::optional<Json> info =
      JsonReader(std::string(std::istreambuf_iterator<char>(in), {})).read();
  ASSERT_TRUE(info) << "not JSON";
  auto m = module();
  ASSERT_TRUE(m);
  const host::FactoryInfo f = m->factoryInfo();
  const Json& factory = (*info)["Factory Info"];
  EXPECT_EQ(factory["Vendor"].text, f.vendor);
  EXPECT_EQ(factory["URL"].text, f.url);
  EXPECT_EQ(factory["E-Mail"].text, f.email);
  EXPECT_EQ(factory["Flags"]["Unicode"].boolean,
            (f.flags & Steinberg::PFactoryInfo::kUnicode) != 0);
  EXPECT_EQ(factory["Flags"]["Classes Discardable"].boolean,
            (f.flags & Steinberg::PFactoryInfo::kClassesDiscardable) != 0);
  EXPECT_EQ(factory["Flags"]["Component Non Discardable"].boolean,
            (f.flags & Steinberg::PFactoryInfo::kComponentNonDiscardable) != 0);
  EXPECT_EQ((*info)["Compatibility"].kind, Json::Array);

  const auto classes = m->classes();
  const Json& listed = (*info)["Classes"];
  ASSERT_EQ(listed.items.size(), classes.size());
  for (std::size_t i = 0; i < classes.size(); ++i) {
    const Json& c = listed.items[i];
    const host::ClassInfo& k = classes[i];
    EXPECT_EQ(c["CID"].text, host::toString(k.cid));
    EXPECT_EQ(c["Category"].text, k.category);
    EXPECT_EQ(c["Name"].text, k.name);
    EXPECT_EQ(c["Vendor"].text, k.vendor);
    EXPECT_EQ(c["Version"].text, k.version);
    EXPECT_EQ(c["SDKVersion"].text, k.sdkVersion);
    std::string words;
    for (const Json& w : c["Sub Categories"].items) words += (words.empty() ? "" : "|") + w.text;
    EXPECT_EQ(words, k.subCategories);
    EXPECT_EQ(c["Class Flags"].number, double(k.classFlags));
    EXPECT_EQ(c["Cardinality"].number, double(k.cardinality));
    EXPECT_EQ(c["Snapshots"].kind, Json::Array);
    EXPECT_EQ((*info)["Name"].text, k.name);
    EXPECT_EQ((*info)["Version"].text, k.version);
  }
}

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
