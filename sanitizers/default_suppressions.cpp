// Built into every Linux program of a sanitizer build, so that each run (ctest, test
// discovery, a program started by hand or by another test) applies the same rules.
//
// GNUstep Base and GCC's Objective-C runtime keep process-lifetime allocations that
// LeakSanitizer reports (class, selector and method tables), and take their own locks in
// orders ThreadSanitizer reports. Only frames of those two libraries are suppressed; this
// project's frames never are.
extern "C" {

__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return
      // GCC's runtime allocates its own metadata with objc_malloc: the tables built while a
      // module's classes load (__objc_exec_class), the copies of method names that
      // class_addMethod makes and drops once the selector is registered. No object passes
      // through it: Foundation objects come from NSAllocateObject, C++ objects from new.
      // The allocator's unwinding stops at the first frame of GCC's runtime (built without
      // frame pointers), so its entry point is the deepest frame every such leak shows.
      "leak:objc_malloc\n"
      // GNUstep's +[GSBlock load] keeps the method list it copies, for the life of the
      // process (the only unfreed list: this project frees every list it copies).
      "leak:class_copyMethodList\n";
}

__attribute__((visibility("default"), used)) const char* __tsan_default_suppressions() {
  return "race:libgnustep-base.so\n"
         "race:libobjc.so\n"
         "deadlock:libgnustep-base.so\n"
         "deadlock:libobjc.so\n"
         "mutex:libgnustep-base.so\n"
         "mutex:libobjc.so\n"
         "called_from_lib:libgnustep-base.so\n"
         "called_from_lib:libobjc.so\n"
         // Drawing (platform/render). Pango matches fonts on a thread of its own and hands
         // each result over through glib's futex-based waits, which the checker cannot see;
         // what it then reports is the matched pattern's values, copied by fontconfig's
         // FcValueSave on that thread and read by the drawing thread.
         "race:FcValueSave\n"
         // The same hand-over, the other way: pango's sorting thread ('[pango] FcFontSetSort')
         // frees what the drawing thread allocated before it queued the work. The freeing
         // function is static in pango's stripped library, so only the library names it.
         // (Ignoring every C library call made from pango instead hides the locks it gives
         // back too, and the checker then reports this project's own text mutex as locked
         // twice or in the wrong order.)
         "race:libpangoft2-1.0.so.0\n";
}
}
