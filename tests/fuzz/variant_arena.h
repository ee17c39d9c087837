// VARIANTs of every shape a caller can pass, made from fuzz input: by value, by reference to
// storage held here (or to nothing), a referenced VARIANT one or two levels deep or referring to
// itself, strings, and objects that count their references. The arena owns what it made: at
// the end it clears the variants it holds (strings freed, references dropped), frees the
// strings left in by-reference slots (a callee may have replaced them, freeing the old one) and
// checks that every object is back to the one reference it started with.
#pragma once

#include <deque>
#include <string>

#include "platform/com/com_types.h"
#include "tests/fakes/counted_dispatch.h"
#include "tests/fuzz/fuzz_support.h"

namespace kirnow::fuzz {

// One of the variant types a caller may use, and a few that no caller should.
VARTYPE PickType(Input& in);

class VariantArena {
 public:
  VariantArena() = default;
  VariantArena(const VariantArena&) = delete;
  VariantArena& operator=(const VariantArena&) = delete;
  ~VariantArena();

  // A variant read from the input (a shallow copy: the arena keeps what it owns).
  VARIANT Make(Input& in) { return *MakeOwned(in, 0); }
  // The same value by reference, through a VARIANT of the arena's.
  VARIANT Referring(const VARIANT& v);

 private:
  union Slot {  // room for any number a by-reference variant may point to
    int64_t i;
    unsigned char bytes[16];
  };

  VARIANT* MakeOwned(Input& in, int depth);
  VARIANT* Hold(const VARIANT& v);

  fakes::CountedDispatch object_;  // first, so that it outlives every reference to it
  std::deque<VARIANT> variants_;   // cleared at the end
  std::deque<Slot> numbers_;       // by-reference targets of numbers
  std::deque<BSTR> strings_;       // by-reference targets of strings, freed at the end
  std::deque<IUnknown*> objects_;  // by-reference targets of objects, released at the end
};

}  // namespace kirnow::fuzz
