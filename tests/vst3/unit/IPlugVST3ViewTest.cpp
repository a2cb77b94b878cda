// The editor view's protocol with the host, in process with the headless platform: which names
// give a view, what it reports before it is attached, and that every order of attach, removal and
// release the host may use opens and closes the one editor window exactly once.
#include "BRIMO.h"
#include "IGraphicsHeadless.h"
#include "IPlugVST3View.h"
#include "IEditorSettings.h"
#include "TestHost.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include <tuple>
#include <utility>

using namespace testhost;

namespace {

class CountingBRIMO final : public BRIMO {
public:
  void OnEditorOpened() override { ++opened; }
  void OnEditorClosed() override { ++closed; }
  void OnEditorResized() override { ++resized; }
  int opened = 0, closed = 0, resized = 0;
};

// A host frame that grants every resize at once, as most hosts do.
class GrantingFrame final : public IPlugFrame {
public:
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
    requests.push_back(*rect);
    return view->onSize(rect);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    *obj = nullptr;
    if (!FUnknownPrivate::iidEqual(iid, IPlugFrame::iid)) return kNoInterface;
    *obj = this;
    return kResultOk;
  }
  TESTHOST_NO_REFCOUNT
  std::vector<ViewRect> requests;
};

// A host that offers context menus records which view each was asked for (and shows none).
class ContextMenuHandler final : public IComponentHandler, public IComponentHandler3 {
public:
  tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
  tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
  IContextMenu* PLUGIN_API createContextMenu(IPlugView* view, const ParamID*) override {
    menuViews.push_back(view);
    return offerMenus ? new Menu(this) : nullptr;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    *obj = nullptr;
    if (FUnknownPrivate::iidEqual(iid, IComponentHandler3::iid))
      *obj = static_cast<IComponentHandler3*>(this);
    else if (FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
             FUnknownPrivate::iidEqual(iid, FUnknown::iid))
      *obj = static_cast<IComponentHandler*>(this);
    return *obj ? kResultOk : kNoInterface;
  }
  TESTHOST_NO_REFCOUNT
  std::vector<IPlugView*> menuViews;

  // With offerMenus, each menu records the plug-in's items and, when it pops up, runs the first.
  class Menu final : public IContextMenu {
  public:
    explicit Menu(ContextMenuHandler* owner) : owner(owner) {}
    ~Menu() {
      for (IContextMenuTarget* target : targets) target->release();
    }
    int32 PLUGIN_API getItemCount() override { return int32(targets.size()); }
    tresult PLUGIN_API getItem(int32, Item&, IContextMenuTarget**) override {
      return kNotImplemented;
    }
    tresult PLUGIN_API addItem(const Item& item, IContextMenuTarget* target) override {
      owner->items.push_back(item.name[0] == 'E' ? "Enter value..." : "?");
      if (target) target->addRef();
      targets.push_back(target);
      return kResultOk;
    }
    tresult PLUGIN_API removeItem(const Item&, IContextMenuTarget*) override {
      return kNotImplemented;
    }
    tresult PLUGIN_API popup(UCoord, UCoord) override {
      return !targets.empty() && targets[0] ? targets[0]->executeMenuItem(0) : kResultFalse;
    }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
      *obj = nullptr;
      return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++references; }
    uint32 PLUGIN_API release() override {
      if (--references > 0) return references;
      delete this;
      return 0;
    }

  private:
    ContextMenuHandler* owner;
    std::vector<IContextMenuTarget*> targets;
    uint32 references = 1;
  };
  bool offerMenus = false;
  std::vector<std::string> items;
};

class EditorView : public ::testing::Test {
protected:
  void SetUp() override {
    plug = new CountingBRIMO();
    ASSERT_EQ(plug->initialize(&host), kResultOk);
    graphics = static_cast<IGraphicsHeadless*>(plug->GetGraphics());
  }
  void TearDown() override {
    if (plug == nullptr) return;
    plug->terminate();
    plug->release();
  }
  IPlugView* Create() { return plug->createView(ViewType::kEditor); }
  void* Parent() { return &parentWindow; }

  HostApp host{"Test"};
  CountingBRIMO* plug = nullptr;
  IGraphicsHeadless* graphics = nullptr;
  int parentWindow = 0;
};

TEST_F(EditorView, OnlyTheExactNameGivesAView) {
  for (const char* name : {"Editor", "editor ", "edit", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ(plug->createView(name), nullptr) << (name ? name : "(null)");
  IPlugView* view = Create();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->release(), 0u);
}

TEST_F(EditorView, SizeAndWindowTypeAreKnownBeforeAttaching) {
  IPlugView* view = Create();
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.left, 0);
  EXPECT_EQ(size.top, 0);
  EXPECT_EQ(size.getWidth(), 790);
  EXPECT_EQ(size.getHeight(), 249);
  EXPECT_EQ(view->getSize(nullptr), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(IPlugVST3View::kPlatformType), kResultTrue);
  const bool windows = std::string(IPlugVST3View::kPlatformType) == kPlatformTypeHWND;
  const char* other = windows ? kPlatformTypeX11EmbedWindowID : kPlatformTypeHWND;
  EXPECT_EQ(view->isPlatformTypeSupported(other), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(nullptr), kResultFalse);
  EXPECT_EQ(view->canResize(), kResultTrue);
  view->release();
}

TEST_F(EditorView, EveryAttachOrderOpensAndClosesTheWindowOnce) {
  IPlugView* a = Create();
  IPlugView* b = Create();
  EXPECT_EQ(a->removed(), kResultOk) << "removed before attached";
  EXPECT_EQ(plug->closed, 0);

  EXPECT_EQ(a->attached(Parent(), kPlatformTypeNSView), kResultOk) << "a foreign window type";
  EXPECT_FALSE(graphics->IsWindowOpen());
  EXPECT_EQ(plug->opened, 1);

  EXPECT_EQ(a->attached(Parent(), IPlugVST3View::kPlatformType), kResultOk) << "a second attach";
  EXPECT_TRUE(graphics->IsWindowOpen());
  EXPECT_EQ(plug->closed, 1);

  EXPECT_EQ(b->attached(Parent(), IPlugVST3View::kPlatformType), kResultOk) << "another view";
  EXPECT_EQ(plug->opened, 3);
  EXPECT_EQ(plug->closed, 2);
  EXPECT_EQ(a->removed(), kResultOk) << "the view that lost the window closes nothing";
  EXPECT_TRUE(graphics->IsWindowOpen());

  EXPECT_EQ(b->removed(), kResultOk);
  EXPECT_EQ(b->removed(), kResultOk) << "removed twice";
  EXPECT_FALSE(graphics->IsWindowOpen());
  EXPECT_EQ(plug->closed, 3);

  b->attached(Parent(), IPlugVST3View::kPlatformType);
  EXPECT_EQ(b->release(), 0u) << "released while attached";
  EXPECT_FALSE(graphics->IsWindowOpen());
  EXPECT_EQ(plug->closed, plug->opened);
  a->release();
}

TEST_F(EditorView, AViewOutlivesTheHostsHoldOnThePlugin) {
  IPlugView* view = Create();
  view->attached(Parent(), IPlugVST3View::kPlatformType);
  plug->terminate();
  EXPECT_GE(plug->release(), 1u) << "the view still holds the plug-in";
  plug = nullptr;
  EXPECT_EQ(view->removed(), kResultOk);
  ViewRect size;
  EXPECT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(view->release(), 0u) << "the last reference goes with the view";
}

// The host's resize requests and context menus belong to the view that holds the window: the one
// attached last, not the first one made.
TEST_F(EditorView, ResizeAndContextMenuGoToTheViewThatHoldsTheWindow) {
  ContextMenuHandler handler;
  ASSERT_EQ(plug->setComponentHandler(&handler), kResultOk);
  GrantingFrame frameA, frameB;
  IPlugView* a = Create();
  IPlugView* b = Create();
  a->setFrame(&frameA);
  auto request = [&] {
    graphics->Resize(790, graphics->Height() == 249 ? 250 : 249);
    plug->ShowHostContextMenu(BRIMO::kOutput, 10, 20);
  };
  request();  // no window: nobody to ask
  a->attached(Parent(), IPlugVST3View::kPlatformType);
  a->removed();
  b->attached(Parent(), IPlugVST3View::kPlatformType);
  request();  // b has no frame yet: only the menu is asked for
  b->setFrame(&frameB);
  ViewRect hostSize(0, 0, 640, 480);
  EXPECT_EQ(b->onSize(&hostSize), kResultOk) << "a host-made size is only recorded";
  EXPECT_EQ(plug->resized, 0);
  request();
  EXPECT_TRUE(frameA.requests.empty());
  ASSERT_EQ(frameB.requests.size(), 1u);
  EXPECT_EQ(frameB.requests[0].getWidth(), 790);
  EXPECT_EQ(plug->resized, 1);
  EXPECT_EQ(handler.menuViews, (std::vector<IPlugView*>{b, b}));
  b->removed();
  request();
  EXPECT_EQ(frameB.requests.size(), 1u);
  EXPECT_EQ(handler.menuViews.size(), 2u);
  a->release();
  b->release();
  plug->setComponentHandler(nullptr);
}

// The host's content scale, its free resizing and the user's size menu, and the size remembered
// for the next editor.
TEST_F(EditorView, SizeFollowsTheHostsScaleItsFrameAndTheUsersChoice) {
  IPlugView* view = Create();
  FUnknownPtr<IPlugViewContentScaleSupport> scaling(view);
  ASSERT_TRUE(scaling);
  auto size = [&] {
    ViewRect r;
    view->getSize(&r);
    return std::pair(r.getWidth(), r.getHeight());
  };
  for (float refused : {0.4f, 4.5f, -1.0f, std::nanf(""), INFINITY})
    EXPECT_EQ(scaling->setContentScaleFactor(refused), kResultFalse) << refused;
  EXPECT_EQ(size(), std::pair(790, 249));
  EXPECT_EQ(scaling->setContentScaleFactor(2.0f), kResultTrue) << "before attached";
  EXPECT_EQ(size(), std::pair(1580, 498));

  GrantingFrame frame;
  view->setFrame(&frame);
  const std::string folder = testing::TempDir() + "brimo-view-size";
  std::filesystem::remove_all(folder);
  graphics->SetSettingsFolder(folder);
  view->attached(Parent(), IPlugVST3View::kPlatformType);
  EXPECT_TRUE(frame.requests.empty()) << "the host knows the size";
  EXPECT_EQ(scaling->setContentScaleFactor(1.5f), kResultTrue) << "after attached";
  ASSERT_EQ(frame.requests.size(), 1u);
  EXPECT_EQ(frame.requests[0].getWidth(), 1185);
  EXPECT_EQ(graphics->Screen()->Width(), 1185);

  // Free resizing keeps the panel's shape between 75 % and 300 % at the device scale.
  struct Constraint {
    int32_t w, h, wantW, wantH;
  } constraints[] = {{100, 100, 889, 281},
                     {9000, 9000, 3555, 1121},
                     {1580, 2000, 1580, 498},
                     {4000, 498, 1580, 498},
                     {1185, 374, 1185, 374}};
  for (const auto& c : constraints) {
    ViewRect r(10, 20, 10 + c.w, 20 + c.h);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultTrue);
    EXPECT_EQ(std::tuple(r.left, r.top, r.getWidth(), r.getHeight()),
              std::tuple(10, 20, c.wantW, c.wantH))
        << c.w << " x " << c.h;
  }
  ViewRect hostSize(0, 0, 1975, 623);
  view->onSize(&hostSize);
  EXPECT_EQ(graphics->DrawScale(), 2.5);

  // The size menu: a right click on the bare panel; the choice is remembered for the next editor.
  graphics->popupAnswers.push_back(4);
  graphics->OnMouseDown(20, 200, {false, true});
  EXPECT_EQ(graphics->popupItemsShown.size(), 6u);
  EXPECT_EQ(graphics->popupItemsShown[4], "175 %");
  EXPECT_EQ(frame.requests.back().getWidth(), 2074) << "790 x 1.5 x 1.75, rounded up";
  EXPECT_EQ(ReadEditorSize(folder), 175);
  view->removed();
  scaling->setContentScaleFactor(1.0f);
  graphics->SetUserSize(100);
  view->attached(Parent(), IPlugVST3View::kPlatformType);
  EXPECT_EQ(graphics->UserSize(), 175);
  view->removed();
  view->setFrame(nullptr);
  view->release();
  std::filesystem::remove_all(folder);
}

// A right click on a knob opens the host's menu of its parameter, which carries the plug-in's
// "Enter value...": choosing it opens the typed entry, and the menu holds the plug-in only while
// it lives.
TEST_F(EditorView, TheHostsMenuOfAParameterOffersToTypeItsValue) {
  ContextMenuHandler handler;
  handler.offerMenus = true;
  ASSERT_EQ(plug->setComponentHandler(&handler), kResultOk);
  IPlugView* view = Create();
  view->attached(Parent(), IPlugVST3View::kPlatformType);
  plug->addRef();
  const uint32 references = plug->release();
  graphics->OnMouseDown(706, 128, {false, true});
  EXPECT_EQ(handler.items, std::vector<std::string>{"Enter value..."});
  EXPECT_TRUE(graphics->TextEntryOpen());
  EXPECT_EQ(graphics->lastEntryText, "0.0 dB");
  plug->addRef();
  EXPECT_EQ(plug->release(), references);
  view->removed();
  EXPECT_FALSE(graphics->TextEntryOpen());
  view->release();
  plug->setComponentHandler(nullptr);
}

}  // namespace
