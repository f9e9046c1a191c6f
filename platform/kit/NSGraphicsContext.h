// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cairo.h>

namespace huecast::kit
{

/// Where drawing goes: a cairo context whose user space is the coordinate system of the view
/// being drawn, and whether that system is flipped (y grows downwards). One is current per
/// thread while a view tree is drawn.
class __attribute__((visibility("default"))) NSGraphicsContext
{
public:
    explicit NSGraphicsContext(cairo_t* cairo) : m_cairo(cairo) {}

    [[nodiscard]] cairo_t* cairo() const { return m_cairo; }
    [[nodiscard]] bool isFlipped() const { return m_flipped; }
    void setFlipped(bool flipped) { m_flipped = flipped; }

    /// The thread's current context, or null outside drawing.
    [[nodiscard]] static NSGraphicsContext* currentContext();

    /// Makes a context current for the scope's lifetime, then restores the previous one.
    class __attribute__((visibility("default"))) Scope
    {
    public:
        explicit Scope(NSGraphicsContext& context);
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope();

    private:
        NSGraphicsContext* m_previous;
    };

private:
    cairo_t* m_cairo;
    bool m_flipped = false;
};

} // namespace huecast::kit
