// The dialogs the commands open: the unsaved-changes question, notices, the file requesters and the
// colour picker. The program uses the platform's (QtDialogs); tests put a scripted set in their place
// so the commands can be driven without a person clicking.
#pragma once

#include <QString>

class QWidget;

namespace gw {

class AppDialogs {
public:
    virtual ~AppDialogs() = default;
    // Yes / No / Cancel: 1, 0, -1 (closing the box counts as Cancel).
    virtual int question(QWidget* parent, const QString& text) = 0;
    // A notice with an OK button; `serious` shows a warning instead of an information icon.
    virtual void notice(QWidget* parent, const QString& text, bool serious) = 0;
    // The chosen board file, or "" when cancelled.
    virtual QString openPath(QWidget* parent) = 0;
    virtual QString savePath(QWidget* parent, const QString& initial) = 0;
    // Presets r, g, b; answers true with the picked colour in them when confirmed.
    virtual bool pickColor(QWidget* parent, int& r, int& g, int& b) = 0;
};

// The platform's dialogs: message boxes titled "Gatewright" and kept on top, file requesters for
// "gwb" files with an empty title, the colour picker.
class QtDialogs : public AppDialogs {
public:
    int question(QWidget* parent, const QString& text) override;
    void notice(QWidget* parent, const QString& text, bool serious) override;
    QString openPath(QWidget* parent) override;
    QString savePath(QWidget* parent, const QString& initial) override;
    bool pickColor(QWidget* parent, int& r, int& g, int& b) override;
};

}  // namespace gw
