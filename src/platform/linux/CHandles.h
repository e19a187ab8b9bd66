#pragma once

// Owners for what C libraries hand out: xcb replies (malloc'ed), GLib memory and GObjects.
#include <cstdlib>
#include <memory>

struct TFreeDeleter
{
    void operator()(void* memory) const
    {
        std::free(memory);
    }
};
// An xcb reply or any other block the caller must free().
template <typename T> using TMallocRef = std::unique_ptr<T, TFreeDeleter>;

#if __has_include(<glib-object.h>)
#include <glib-object.h>

struct TGObjectUnref
{
    void operator()(void* object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using TGObjectRef = std::unique_ptr<T, TGObjectUnref>;
#endif
