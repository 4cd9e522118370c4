#pragma once

// The program's pictures and help page, compiled in as Qt resources. Pictures
// are SVG drawings named by their path under the assets folder without the
// extension: "splash", "about", "icon", "toolbar/new", "glyphs/ok".

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace assets {

// Design sizes the windows and buttons are laid out for.
inline constexpr QSize kSplashSize {321, 241};
inline constexpr QSize kAboutSize {316, 150};
inline constexpr QSize kVanSize {65, 33};
inline constexpr QSize kToolbarSize {24, 24};
inline constexpr QSize kGlyphSize {16, 16};

// Registers the compiled-in resources. Every accessor below does it itself;
// call it only before reaching ":/assets/..." paths directly.
void registerResources();

// The resource path of a picture (":/assets/toolbar/new.svg").
QString picturePath(const QString &name);

// The picture drawn at the given size (in device-independent pixels) for a
// screen of the given pixel ratio; a null pixmap for an unknown name.
QPixmap picture(const QString &name, QSize size, qreal devicePixelRatio = 1.0);

// The picture as an icon at its design size and twice that, with a greyed
// form of its own for the disabled state; a null icon for an unknown name.
QIcon icon(const QString &name);

// The window icon, at the sizes window systems ask for.
QIcon windowIcon();

// The eight toolbar pictures in toolbar order: New, Open, Save, Copy All,
// Paste, Encrypt, Decrypt, Quick Mail.
QStringList toolbarPictures();

// The picture in shades of grey, as light or dark as its colours.
QPixmap greyForm(const QPixmap &pixmap);

// The greyed form of a picture the disabled state shows.
QPixmap disabledForm(const QPixmap &pixmap);

// The help page.
QUrl helpPage();

} // namespace assets
