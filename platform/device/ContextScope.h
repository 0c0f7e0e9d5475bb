#pragma once
// The calling thread's OpenAL context for the length of one device call.
//
// Threads: any; a scope belongs to the thread that made it.
namespace aldevice {

// The calling thread's OpenAL context for the length of one operation: made
// current on construction, the thread's previous one restored on
// destruction. Nested scopes of the same context cost one thread-local read.
class [[nodiscard]] ContextScope {
public:
    explicit ContextScope(void* context);  // ALCcontext*, or null: nothing changes
    ~ContextScope();
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    void* previous = nullptr;
    bool changed = false;
};

}  // namespace aldevice
