// One object per thread, made on the thread's first use and destroyed when
// the thread ends. One file per system: PosixThreadOwned.cpp keeps them in a
// thread_local list; WindowsThreadOwned.cpp in fiber-local storage with a
// callback, because MinGW-w64's thread_local objects with destructors
// corrupt the heap when many threads start at once.
#pragma once

namespace tolvane {

// How to make and destroy an object of one type.
struct ThreadOwnedType {
  void* (*make)();
  void (*destroy)(void*);
};

// This thread's object of that type. type must outlive every thread that
// uses it (a static object does).
void* ThreadOwned(const ThreadOwnedType& type);

template <typename T>
T& ThreadOwnedObject() {
  static const ThreadOwnedType type{[]() -> void* { return new T(); },
                                    [](void* object) { delete static_cast<T*>(object); }};
  return *static_cast<T*>(ThreadOwned(type));
}

}  // namespace tolvane
