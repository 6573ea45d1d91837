// Root object class, class references and the registry of live objects.
//
// Every class of the library that callers may refer to "as a class" derives
// from TObject and has exactly one descriptor object (a TClass, or a subclass
// of TClass that carries class-level virtual operations). The descriptor is
// reached from the class (`T::Class()`) and from every instance
// (`obj->ClassType()`), so a `const TClass*` is a class reference: it can be
// stored, compared, asked its name and its ancestry, asked class-level
// questions, and (for classes that allow it) asked to create an instance.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace limpet {

class TObject;

// Descriptor of one class. Instances live for the lifetime of the module that
// defines the class (function-local statics); when a shared object that
// defined classes is unloaded, its descriptors are destroyed and the
// class-unload notification runs for each of them.
class TClass {
 public:
  TClass(const char* name, const TClass* parent) noexcept;
  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;
  virtual ~TClass();

  const char* ClassName() const noexcept { return FName; }
  const TClass* ClassParent() const noexcept { return FParent; }
  // True when this class is `ancestor` or derives from it.
  bool InheritsFrom(const TClass* ancestor) const noexcept;
  // Creates an instance with the class's parameterless constructor; returns
  // null when the class has none (abstract classes, classes whose
  // constructors need arguments: their descriptors offer typed factories).
  virtual TObject* CreateInstance() const { return nullptr; }

 private:
  const char* FName;
  const TClass* FParent;
};

// Descriptor implementation for class T with descriptor base Desc. Desc must
// derive from TClass; its constructor arguments are forwarded.
template <class T, class Desc = TClass>
class TClassOf : public Desc {
 public:
  using Desc::Desc;
  TObject* CreateInstance() const override {
    if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
      return new T();
    } else {
      return nullptr;
    }
  }
};

// Class-unload notification: called with each descriptor as it is destroyed
// (a shared object being unloaded, or the process ending). At most a small
// fixed number of hooks can be installed; AddClassUnloadHook returns false
// when there is no room left.
using TClassUnloadHook = void (*)(const TClass* cls);
bool AddClassUnloadHook(TClassUnloadHook hook) noexcept;
void RemoveClassUnloadHook(TClassUnloadHook hook) noexcept;

class TObject {
 public:
  TObject() noexcept;
  TObject(const TObject&) noexcept;
  TObject& operator=(const TObject&) noexcept { return *this; }
  virtual ~TObject();

  static const TClass* Class() noexcept;
  virtual const TClass* ClassType() const noexcept { return Class(); }

  std::string ClassName() const { return ClassType()->ClassName(); }
  bool InheritsFrom(const TClass* ancestor) const noexcept {
    return ClassType()->InheritsFrom(ancestor);
  }

  // Runs just before a checked destruction (Free). A class may refuse its
  // destruction here by raising an error; the object then stays intact.
  virtual void BeforeDestruction() {}
  // Checked destruction: BeforeDestruction, then delete.
  void Free();
};

// True when `p` is the address of a live TObject (constructed and not yet
// destroyed) whose class is `cls` or derives from it. Never dereferences a
// pointer that is not registered as live. A null `cls` means any class.
bool IsLiveObject(const void* p, const TClass* cls = nullptr) noexcept;

}  // namespace limpet

// Declares the class-reference plumbing in a class body. Use the _AS form when
// the class has its own descriptor type (a TClass subclass with class-level
// virtual operations).
#define LIMPET_CLASS(Self)                                               \
 public:                                                                 \
  static const ::limpet::TClass* Class() noexcept;                       \
  const ::limpet::TClass* ClassType() const noexcept override {          \
    return Self::Class();                                                \
  }

#define LIMPET_CLASS_AS(Self, Desc)                                      \
 public:                                                                 \
  static const Desc* Class() noexcept;                                   \
  const Desc* ClassType() const noexcept override { return Self::Class(); }

// Defines Class() for a class declared with LIMPET_CLASS.
#define LIMPET_DEFINE_CLASS(Self, Parent)                                \
  const ::limpet::TClass* Self::Class() noexcept {                       \
    static const ::limpet::TClassOf<Self> descriptor(#Self, Parent::Class()); \
    return &descriptor;                                                  \
  }

// Defines Class() for a class declared with LIMPET_CLASS_AS; Impl is the
// concrete descriptor type (deriving from Desc).
#define LIMPET_DEFINE_CLASS_AS(Self, Parent, Desc, Impl)                 \
  const Desc* Self::Class() noexcept {                                   \
    static const Impl descriptor(#Self, Parent::Class());                \
    return &descriptor;                                                  \
  }
