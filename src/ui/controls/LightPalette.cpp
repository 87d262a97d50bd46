#include "ui/controls/LightPalette.h"

namespace {

QPalette makeLightPalette()
{
    const QColor ink(0x22, 0x22, 0x22);
    const QColor surface(Qt::white);
    const QColor button(0xf0, 0xf0, 0xf0);
    QPalette palette(button, surface);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, surface);
        palette.setColor(group, QPalette::WindowText, ink);
        palette.setColor(group, QPalette::Base, surface);
        palette.setColor(group, QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
        palette.setColor(group, QPalette::Text, ink);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, ink);
        palette.setColor(group, QPalette::BrightText, Qt::white);
        palette.setColor(group, QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
        palette.setColor(group, QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
        palette.setColor(group, QPalette::ToolTipText, Qt::black);
        palette.setColor(group, QPalette::Link, QColor(0x00, 0x66, 0xcc));
        palette.setColor(group, QPalette::LinkVisited, QColor(0x80, 0x33, 0x99));
    }
    const QColor grey(0x9a, 0x9a, 0x9a);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
        palette.setColor(QPalette::Disabled, role, grey);
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base})
        palette.setColor(QPalette::Disabled, role, surface);
    palette.setColor(QPalette::Disabled, QPalette::Button, button);
    // Roles a group did not name above are set to what they resolve to, so the palette's every
    // role counts as its own.
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = QPalette::ColorGroup(group);
            const auto r = QPalette::ColorRole(role);
            if (r == QPalette::NoRole)
                continue;
            palette.setBrush(g, r, palette.brush(g, r));
        }
    }
    return palette;
}

}  // namespace

QPalette lightPalette()
{
    // Made once: the main window takes it each time it is built, and a copy shares the colours.
    static const QPalette palette = makeLightPalette();
    return palette;
}
