// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <optional>
#include <string>

#include "platform/kit/Geometry.h"
#include "platform/kit/NSAttributedString.h"
#include "platform/kit/NSColor.h"
#include "platform/kit/NSFont.h"

namespace huecast::kit
{

class NSView;

enum class NSControlSize : long
{
    Regular = 0,
    Small = 1,
    Mini = 2,
};

enum class NSBezelStyle : long
{
    Rounded = 1,
    RegularSquare = 2,
};

/// What a control draws and the settings it draws with. Controls own their cell and hand it
/// their bounds to draw in; subclasses change the look by replacing the drawing hooks.
class __attribute__((visibility("default"))) NSCell
{
public:
    NSCell();
    NSCell(const NSCell&) = delete;
    NSCell& operator=(const NSCell&) = delete;
    virtual ~NSCell();

    [[nodiscard]] const std::string& stringValue() const { return m_stringValue; }
    virtual void setStringValue(std::string value) { m_stringValue = std::move(value); }

    /// Null when the cell has no font.
    [[nodiscard]] const std::optional<NSFont>& font() const { return m_font; }
    void setFont(std::optional<NSFont> font) { m_font = std::move(font); }
    [[nodiscard]] NSTextAlignment alignment() const { return m_alignment; }
    void setAlignment(NSTextAlignment alignment) { m_alignment = alignment; }
    [[nodiscard]] NSLineBreakMode lineBreakMode() const { return m_lineBreakMode; }
    void setLineBreakMode(NSLineBreakMode mode) { m_lineBreakMode = mode; }
    [[nodiscard]] NSWritingDirection baseWritingDirection() const { return m_writingDirection; }
    void setBaseWritingDirection(NSWritingDirection direction) { m_writingDirection = direction; }
    [[nodiscard]] NSControlSize controlSize() const { return m_controlSize; }
    void setControlSize(NSControlSize size) { m_controlSize = size; }
    [[nodiscard]] bool usesSingleLineMode() const { return m_singleLine; }
    void setUsesSingleLineMode(bool singleLine) { m_singleLine = singleLine; }
    [[nodiscard]] bool allowsUndo() const { return m_allowsUndo; }
    void setAllowsUndo(bool allowsUndo) { m_allowsUndo = allowsUndo; }

    /// Whether the cell is being pressed; its control sets this while it is clicked.
    [[nodiscard]] bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted) { m_highlighted = highlighted; }

    /// Draws the whole cell (frame and interior) in the control's coordinates; the default
    /// draws the interior only.
    virtual void drawWithFrame(NSRect cellFrame, NSView& controlView);
    /// Draws the cell's content; the default draws the string value with the cell's font and
    /// paragraph settings.
    virtual void drawInteriorWithFrame(NSRect cellFrame, NSView& controlView);

protected:
    /// The paragraph style made of the cell's alignment, line-break mode and direction.
    [[nodiscard]] NSParagraphStyle paragraphStyle() const;

private:
    std::string m_stringValue;
    std::optional<NSFont> m_font;
    NSTextAlignment m_alignment = NSTextAlignment::Natural;
    NSLineBreakMode m_lineBreakMode = NSLineBreakMode::ByWordWrapping;
    NSWritingDirection m_writingDirection = NSWritingDirection::Natural;
    NSControlSize m_controlSize = NSControlSize::Regular;
    bool m_singleLine = false;
    bool m_allowsUndo = true;
    bool m_highlighted = false;
};

/// A push button's cell: a bezel and a title.
class __attribute__((visibility("default"))) NSButtonCell : public NSCell
{
public:
    NSButtonCell();
    ~NSButtonCell() override;

    [[nodiscard]] const std::string& title() const { return stringValue(); }
    void setTitle(std::string title) { setStringValue(std::move(title)); }
    /// A new title drops a styled title set earlier.
    void setStringValue(std::string value) override;

    /// The title as styled text: the one set with setAttributedTitle, else the title in the
    /// cell's font, the control text colour and a paragraph style of the cell's settings.
    [[nodiscard]] NSAttributedString attributedTitle() const;
    /// Sets the styled title; the title becomes its string.
    void setAttributedTitle(const NSAttributedString& title);

    [[nodiscard]] NSBezelStyle bezelStyle() const { return m_bezelStyle; }
    void setBezelStyle(NSBezelStyle style) { m_bezelStyle = style; }
    [[nodiscard]] bool isBordered() const { return m_bordered; }
    void setBordered(bool bordered) { m_bordered = bordered; }

    /// The bezel (when bordered), then the interior.
    void drawWithFrame(NSRect cellFrame, NSView& controlView) override;
    /// The attributed title over the frame.
    void drawInteriorWithFrame(NSRect cellFrame, NSView& controlView) override;
    /// A plain rounded bezel, inset from the frame's edges.
    virtual void drawBezelWithFrame(NSRect frame, NSView& controlView);
    /// Draws the styled title centred in the frame, one line; returns the rectangle it took.
    virtual NSRect drawTitle(const NSAttributedString& title, NSRect frame, NSView& controlView);

private:
    std::optional<NSAttributedString> m_attributedTitle;
    NSBezelStyle m_bezelStyle = NSBezelStyle::Rounded;
    bool m_bordered = true;
};

/// A text field's cell: text in a colour, optionally over a background.
class __attribute__((visibility("default"))) NSTextFieldCell : public NSCell
{
public:
    NSTextFieldCell();
    ~NSTextFieldCell() override;

    [[nodiscard]] const NSColor& textColor() const { return m_textColor; }
    void setTextColor(const NSColor& colour) { m_textColor = colour; }
    [[nodiscard]] const NSColor& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const NSColor& colour) { m_backgroundColor = colour; }
    [[nodiscard]] bool drawsBackground() const { return m_drawsBackground; }
    void setDrawsBackground(bool draws) { m_drawsBackground = draws; }
    [[nodiscard]] bool isBezeled() const { return m_bezeled; }
    void setBezeled(bool bezeled) { m_bezeled = bezeled; }

    /// The background (when drawn), a one-point border (when bezeled), then the interior.
    void drawWithFrame(NSRect cellFrame, NSView& controlView) override;
    /// The string value in the text colour, inset by two points from the frame's sides.
    void drawInteriorWithFrame(NSRect cellFrame, NSView& controlView) override;

private:
    NSColor m_textColor = NSColor::controlTextColor();
    NSColor m_backgroundColor{1, 1, 1, 1};
    bool m_drawsBackground = false;
    bool m_bezeled = false;
};

} // namespace huecast::kit
