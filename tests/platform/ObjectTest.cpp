#include <gtest/gtest.h>

#include <memory>

#include "LQClasses.h"
#include "LQInterfaced.h"
#include "LQObject.h"
#include "LQSysUtils.h"

namespace limpet {
namespace {

class TAnimal : public TObject {
  LIMPET_CLASS(TAnimal)
};
class TLimpetShell : public TAnimal {
  LIMPET_CLASS(TLimpetShell)
};
LIMPET_DEFINE_CLASS(TAnimal, TObject)
LIMPET_DEFINE_CLASS(TLimpetShell, TAnimal)

// A descriptor with a class-level virtual question.
class TShapeClass : public TClass {
 public:
  using TClass::TClass;
  virtual int32_t Corners() const { return 0; }
};
class TShape : public TObject {
  LIMPET_CLASS_AS(TShape, TShapeClass)
};
class TSquare : public TShape {
  LIMPET_CLASS_AS(TSquare, TShapeClass)
};
class TSquareClass : public TClassOf<TSquare, TShapeClass> {
 public:
  using TClassOf::TClassOf;
  int32_t Corners() const override { return 4; }
};
using TShapeDescriptor = TClassOf<TShape, TShapeClass>;
LIMPET_DEFINE_CLASS_AS(TShape, TObject, TShapeClass, TShapeDescriptor)
LIMPET_DEFINE_CLASS_AS(TSquare, TShape, TShapeClass, TSquareClass)

TEST(ClassReference, NameAncestryAndOneDescriptorPerClass) {
  TLimpetShell shell;
  EXPECT_EQ(shell.ClassType(), TLimpetShell::Class());
  EXPECT_STREQ(TLimpetShell::Class()->ClassName(), "TLimpetShell");
  EXPECT_EQ(shell.ClassName(), "TLimpetShell");
  EXPECT_TRUE(shell.InheritsFrom(TAnimal::Class()));
  EXPECT_TRUE(shell.InheritsFrom(TObject::Class()));
  EXPECT_FALSE(TAnimal::Class()->InheritsFrom(TLimpetShell::Class()));
  EXPECT_FALSE(TAnimal::Class()->InheritsFrom(nullptr));
  EXPECT_EQ(TLimpetShell::Class()->ClassParent(), TAnimal::Class());
}

TEST(ClassReference, CreatesInstancesAndAnswersClassLevelQuestions) {
  const TClass* cls = TLimpetShell::Class();
  std::unique_ptr<TObject> made(cls->CreateInstance());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ClassType(), cls);

  const TShapeClass* shape = TSquare::Class();
  EXPECT_EQ(shape->Corners(), 4);
  EXPECT_EQ(TShape::Class()->Corners(), 0);
  TSquare sq;
  const TShape& asShape = sq;
  EXPECT_EQ(asShape.ClassType()->Corners(), 4);
}

TEST(LiveObjects, TellsLiveObjectsFromFreedOnes) {
  auto* shell = new TLimpetShell();
  const void* address = shell;
  EXPECT_TRUE(IsLiveObject(address));
  EXPECT_TRUE(IsLiveObject(address, TAnimal::Class()));
  EXPECT_FALSE(IsLiveObject(address, TStringList::Class()));
  delete shell;
  EXPECT_FALSE(IsLiveObject(address));
  EXPECT_FALSE(IsLiveObject(nullptr));
  int local = 0;
  EXPECT_FALSE(IsLiveObject(&local));
}

class TCounted : public TInterfacedObject {
 public:
  explicit TCounted(bool* destroyed) : FDestroyed(destroyed) {}

 protected:
  ~TCounted() override { *FDestroyed = true; }

 private:
  bool* FDestroyed;
};

TEST(Interfaced, CheckedFreeAndIntrusivePointer) {
  bool destroyed = false;
  auto* obj = new TCounted(&destroyed);
  EXPECT_EQ(obj->RefCount(), 0);
  {
    TRef<TCounted> ref(obj);
    EXPECT_EQ(obj->RefCount(), 1);
    // Held by someone: a direct destruction is refused and changes nothing.
    EXPECT_THROW(obj->Free(), EInvalidPointer);
    EXPECT_FALSE(destroyed);
    TRef<TCounted> copy = ref;
    EXPECT_EQ(obj->RefCount(), 2);
  }
  EXPECT_TRUE(destroyed);

  destroyed = false;
  auto* owned = new TCounted(&destroyed);
  owned->Free();  // count 0: the creator may destroy it
  EXPECT_TRUE(destroyed);
}

TEST(FormatMessage, FillsDirectivesInOrder) {
  EXPECT_EQ(FormatMessage("Cannot open file %s", {"a/b.exe"}), "Cannot open file a/b.exe");
  EXPECT_EQ(FormatMessage("List index out of bounds (%d)", {-1}), "List index out of bounds (-1)");
  EXPECT_EQ(FormatMessage("Keysize for %s must be to %d-%d bytes", {"TCipher_Blowfish", 0, 56}),
            "Keysize for TCipher_Blowfish must be to 0-56 bytes");
  EXPECT_EQ(FormatMessage("100%% of %s and %s", {"x"}), "100% of x and %s");
}

TEST(StringList, HoldsAnObjectPerLine) {
  TStringList list;
  int marker = 0;
  EXPECT_EQ(list.Add("one"), 0);
  EXPECT_EQ(list.AddObject("two", &marker), 1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(1), "two");
  EXPECT_EQ(list.Objects(1), &marker);
  EXPECT_EQ(list.Objects(0), nullptr);
  EXPECT_EQ(list.IndexOf("two"), 1);
  EXPECT_THROW(list.Strings(2), EListError);
  EXPECT_EQ(list.Text(), "one\ntwo\n");
}

}  // namespace
}  // namespace limpet
