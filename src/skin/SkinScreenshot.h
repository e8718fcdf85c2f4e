#pragma once
// Pictures of windows for documentation and visual checks (vexa-assistant --screenshot FILE
// --dialog NAME / --page NAME). Each window module registers scenes: a factory that builds the window
// filled with sample content, shown but without a modal loop. UI thread only.

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

using ScreenshotScene = std::function<std::unique_ptr<QWidget>()>;

// kind is "dialog" or "page". A second registration of a name replaces the first.
void RegisterScreenshotScene(const QString& kind, const QString& name, ScreenshotScene scene);
QStringList ScreenshotSceneNames(const QString& kind);
// Null when no scene has that name.
std::unique_ptr<QWidget> CreateScreenshotScene(const QString& kind, const QString& name);

// Lets the window settle (layout, polish, a few animation frames), then draws it. Top-level windows
// that carry the property "skinShadowOf" pointing at it (its drop shadow) are drawn under it, and a
// dialog sits on a strip of page background so that its edge and shadow show.
QImage RenderWindowPicture(QWidget* window, int settleMs = 150);
