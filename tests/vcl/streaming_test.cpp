// The stored-form writer and reader.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <vcl/Classes.h>
#include <vcl/Graphics.h>

using namespace vcl;

namespace {

enum TKind : std::uint8_t { kdNone, kdSmall, kdLarge };
constexpr const char* KindNames[] = {"kdNone", "kdSmall", "kdLarge"};
constexpr TEnumInfo KindInfo{"TKind", KindNames, 3};
using TKinds = TSet<TKind>;

// A sub-object stored as Sub.Size and Sub.Label.
class TThingSub : public TPersistent {
  TVCL_CLASS(TThingSub, TPersistent)
  std::int32_t GetSize() const { return Size; }
  void SetSize(std::int32_t V) { Size = V; }
  const std::string& GetLabel() const { return Label; }
  void SetLabel(const std::string& V) { Label = V; }
  void Assign(const TPersistent* Source) override {
    auto* s = As<TThingSub>(const_cast<TPersistent*>(Source));
    Size = s->Size;
    Label = s->Label;
  }
  std::int32_t Size = 3;
  std::string Label;
};
constexpr TPropInfo ThingSubProps[] = {
    WithDefault(IntegerProp<TThingSub, &TThingSub::GetSize, &TThingSub::SetSize>("Size"), 3),
    StringProp<TThingSub, &TThingSub::GetLabel, &TThingSub::SetLabel>("Label"),
};
constinit const TClassInfo TThingSub::ClassInfo = {"TThingSub", &TPersistent::ClassInfo, ThingSubProps, 2};

// A component with one published property of every kind; it logs the order
// of its setters and what it saw when Loaded ran.
class TThing : public TComponent {
  TVCL_CLASS(TThing, TComponent)
  explicit TThing(TComponent* AOwner) : TComponent(AOwner) { ++Alive; }
  ~TThing() override { --Alive; }
  static inline int Alive = 0;

#define THING_ACCESSORS(Type, Prop)                         \
  Type Get##Prop() const { return F##Prop; }                \
  void Set##Prop(Type V) {                                  \
    F##Prop = V;                                            \
    Log.push_back(#Prop);                                   \
    LoadingSeen = ComponentState().Contains(csLoading);     \
  }
  THING_ACCESSORS(std::int32_t, Count)
  THING_ACCESSORS(bool, Enabled)
  THING_ACCESSORS(TKind, Kind)
  THING_ACCESSORS(TKinds, Kinds)
  THING_ACCESSORS(TColor, Color)
#undef THING_ACCESSORS
  const std::string& GetCaption() const { return FCaption; }
  void SetCaption(const std::string& V) { FCaption = V; Log.push_back("Caption"); }
  TThingSub* GetSub() const { return FSub.get(); }
  void SetSub(TThingSub* V) { FSub->Assign(V); }
  TThing* GetLink() const { return FLink; }
  void SetLink(TThing* V) {
    FLink = V;
    if (V) V->FreeNotification(this);
  }
  std::int32_t GetReadOnly() const { return 99; }

  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FLink) FLink = nullptr;
  }
  void Loaded() override {
    TComponent::Loaded();
    LoadedCalls++;
    LinkAtLoaded = FLink;
  }
  void DefineProperties(TFiler& Filer) override {
    Filer.DefineBinaryProperty(
        "Blob", [this](const std::vector<std::uint8_t>& d) { Blob = d; }, [this] { return Blob; },
        !Blob.empty());
  }

  std::int32_t FCount = 0;
  bool FEnabled = true;
  TKind FKind = kdNone;
  TKinds FKinds;
  TColor FColor = clWhite;
  std::string FCaption;
  std::unique_ptr<TThingSub> FSub = std::make_unique<TThingSub>();
  TThing* FLink = nullptr;
  std::vector<std::uint8_t> Blob;

  std::vector<std::string> Log;
  bool LoadingSeen = false;
  int LoadedCalls = 0;
  TThing* LinkAtLoaded = nullptr;
};
constexpr TPropInfo ThingProps[] = {
    WithDefault(IntegerProp<TThing, &TThing::GetCount, &TThing::SetCount>("Count"), 0),
    BooleanProp<TThing, &TThing::GetEnabled, &TThing::SetEnabled>("Enabled"),
    StringProp<TThing, &TThing::GetCaption, &TThing::SetCaption>("Caption"),
    EnumProp<TThing, &TThing::GetKind, &TThing::SetKind>("Kind", &KindInfo),
    SetProp<TThing, &TThing::GetKinds, &TThing::SetKinds>("Kinds", &KindInfo),
    WithDefault(ColorProp<TThing, &TThing::GetColor, &TThing::SetColor>("Color"), clWhite),
    ClassProp<TThing, TThingSub, &TThing::GetSub, &TThing::SetSub>("Sub"),
    ComponentProp<TThing, TThing, &TThing::GetLink, &TThing::SetLink>("Link"),
    IntegerProp<TThing, &TThing::GetReadOnly>("ReadOnly"),
};
constinit const TClassInfo TThing::ClassInfo = {"TThing", &TComponent::ClassInfo, ThingProps,
                                                std::size(ThingProps), &ConstructComponent<TThing>};

class StreamingTest : public ::testing::Test {
protected:
  void SetUp() override { RegisterClass(&TThing::ClassInfo); }
  void TearDown() override {
    UnRegisterClass(&TThing::ClassInfo);
    EXPECT_EQ(TThing::Alive, 0) << "a component outlived its form";
  }
};

TEST_F(StreamingTest, PropertiesAreListedInheritedFirstInDeclarationOrder) {
  const TClassInfo& c = TThing::ClassInfo;
  ASSERT_EQ(c.PropertyCount(), 11u);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < c.PropertyCount(); ++i) names.push_back(c.Property(i)->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Count", "Enabled", "Caption", "Kind", "Kinds",
                                             "Color", "Sub", "Link", "ReadOnly"}));
  EXPECT_EQ(c.FindProperty("caption"), c.Property(4));
}

TEST_F(StreamingTest, WriterStoresWhatTheRulesSayInDeclarationOrder) {
  TThing form(nullptr);
  form.SetName("Form1");
  auto* a = new TThing(&form);
  a->SetName("A");
  a->SetCount(-5);
  a->SetCaption("it's\t\xE9");
  a->SetKind(kdLarge);
  a->SetKinds(TKinds{kdSmall, kdLarge});
  a->SetColor(0x123456);
  a->FSub->Size = 7;
  a->SetLink(&form);
  a->Blob = {0x00, 0xAB, 0xFF};
  // Defaults (Count 0, Color clWhite, Sub.Size 3) and read-only properties are
  // left out, and so are empty strings; Booleans without a default are always
  // written.
  EXPECT_EQ(WriteComponentText(form),
            "object Form1: TThing\n"
            "  Enabled = True\n"
            "  Kind = kdNone\n"
            "  Kinds = []\n"
            "  object A: TThing\n"
            "    Count = -5\n"
            "    Enabled = True\n"
            "    Caption = 'it''s'#9#233\n"
            "    Kind = kdLarge\n"
            "    Kinds = [kdSmall, kdLarge]\n"
            "    Color = $00123456\n"
            "    Sub.Size = 7\n"
            "    Link = Form1\n"
            "    Blob = {\n"
            "      00ABFF\n"
            "      }\n"
            "  end\n"
            "end\n");
}

TEST_F(StreamingTest, RoundTripKeepsEveryPublishedValue) {
  TComponent app(nullptr);
  TThing form(nullptr);
  form.SetName("Form1");
  auto* a = new TThing(&form);
  auto* b = new TThing(&form);
  a->SetName("A");
  b->SetName("B");
  a->SetCount(INT32_MIN);
  a->SetEnabled(false);
  a->SetCaption(std::string("quote' nul\0 high\xFF", 17));
  a->SetKinds(TKinds{kdNone, kdLarge});
  a->SetColor(clBtnFace);
  a->FSub->Label = "sub";
  a->SetLink(b);  // a reference to a component written after it
  b->Blob.assign(100, 0x5A);

  std::unique_ptr<TComponent> copy(ReadComponentText(WriteComponentText(form), &app));
  auto* ca = As<TThing>(copy->FindComponent("A"));
  auto* cb = As<TThing>(copy->FindComponent("B"));
  ASSERT_TRUE(ca && cb);
  EXPECT_EQ(copy->GetOwner(), &app);
  for (std::size_t i = 0; i < TThing::ClassInfo.PropertyCount(); ++i) {
    const TPropInfo& p = *TThing::ClassInfo.Property(i);
    EXPECT_EQ(GetPropText(*ca, p), GetPropText(*a, p)) << p.Name;
  }
  EXPECT_EQ(ca->FCaption, a->FCaption);
  EXPECT_EQ(ca->FSub->Label, "sub");
  EXPECT_EQ(ca->GetLink(), cb);
  EXPECT_EQ(cb->Blob, b->Blob);
}

TEST_F(StreamingTest, ReaderSetsStoredOrderWhileLoadingAndCallsLoadedAfterFixups) {
  std::unique_ptr<TComponent> root(ReadComponentText(
      "object F: TThing\n"
      "  object A: TThing\n"
      "    Color = clRed\n"
      "    Count = 2\n"
      "    Link = B\n"
      "  end\n"
      "  object B: TThing\n"
      "  end\n"
      "end\n",
      nullptr));
  auto* a = As<TThing>(root->FindComponent("A"));
  EXPECT_EQ(a->Log, (std::vector<std::string>{"Color", "Count"}));
  EXPECT_TRUE(a->LoadingSeen);
  EXPECT_EQ(a->LoadedCalls, 1);
  EXPECT_EQ(a->LinkAtLoaded, root->FindComponent("B"));
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
  EXPECT_EQ(As<TThing>(root.get())->LoadedCalls, 1);
}

TEST_F(StreamingTest, BadTextRaisesAReadErrorNamingTheLineAndLeavesNothingBehind) {
  const std::string head = "object F: TThing\n  object A: TThing\n";
  struct Row {
    std::string Text;
    const char* Expect;  // part of the message
  } rows[] = {
      {head + "    Count = 'x'\n  end\nend\n", "Line 3: invalid value for property Count: expected an integer"},
      {head + "    Enabled = 1\n  end\nend\n", "Line 3: invalid value for property Enabled"},
      {head + "    Kind = kdHuge\n  end\nend\n", "Line 3: invalid value for property Kind"},
      {head + "    Kinds = [kdSmall, kdHuge]\n  end\nend\n", "Line 3: invalid value for property Kinds"},
      {head + "    Colour = clRed\n  end\nend\n", "Line 3: unknown property Colour of TThing"},
      {head + "    Sub.Width = 1\n  end\nend\n", "Line 3: unknown property Sub.Width"},
      {head + "    ReadOnly = 1\n  end\nend\n", "Line 3: property ReadOnly is read-only"},
      {head + "    Sub = 1\n  end\nend\n", "Line 3: property Sub holds an object"},
      {head + "    Count = 99999999999\n  end\nend\n", "Line 3: integer out of range"},
      {head + "    Caption = 'open\n  end\nend\n", "Line 3: unterminated string"},
      {head + "    Blob = {0A1}\n  end\nend\n", "Line 3: odd number of hex digits"},
      {head + "    Link = Nobody\n  end\nend\n", "Line 3: no component named Nobody"},
      {head + "  end\n  object B: TNoSuchClass\n  end\nend\n", "Line 4: unknown class TNoSuchClass"},
      {head + "  end\n  object A: TThing\n  end\nend\n", "Line 4: A component named A already exists"},
      {head + "    Count 1\n  end\nend\n", "Line 3: expected '='"},
      {head + "  end\n", "Line 3: expected 'end', found end of text"},
      {head + "  end\nend\nend\n", "Line 5: text after the final 'end'"},
      {"object F: TThing\n  Count = 1 ~\nend\n", "Line 2: unexpected character '~'"},
      {"", "Line 1: expected 'object'"},
  };
  for (const Row& r : rows) {
    TComponent owner(nullptr);
    try {
      delete ReadComponentText(r.Text, &owner);
      ADD_FAILURE() << "no error for:\n" << r.Text;
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find(r.Expect), std::string::npos) << e.Message();
    }
    EXPECT_EQ(owner.ComponentCount(), 0) << r.Expect;
    EXPECT_EQ(TThing::Alive, 0) << r.Expect;
  }
}

TEST_F(StreamingTest, DeepNestingIsAnErrorNotAStackOverflow) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "object A" + std::to_string(i) + ": TThing\n";
  EXPECT_THROW(delete ReadComponentText(text, nullptr), EReadError);
}

TEST_F(StreamingTest, ReadingIntoAnExistingRootCreatesItsChildrenOrNone) {
  TThing form(nullptr);
  ReadComponentTextInto("object Form1: TThing\n  Count = 4\n  object A: TThing\n  end\nend\n", form);
  EXPECT_EQ(form.GetName(), "Form1");
  EXPECT_EQ(form.GetCount(), 4);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.LoadedCalls, 1);

  TThing other(nullptr);
  EXPECT_THROW(ReadComponentTextInto("object X: TThing\n  object B: TThing\n  Bad = 1\n  end\nend\n", other),
               EReadError);
  EXPECT_EQ(other.ComponentCount(), 0);
  EXPECT_FALSE(other.ComponentState().Contains(csLoading));
  EXPECT_THROW(ReadComponentTextInto("object X: TComponent\nend\n", other), EReadError);
}

}  // namespace
