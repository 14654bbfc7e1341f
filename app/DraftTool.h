// TDraftTool: the device palette, a modal window in which the user picks the device type to place.
// Categories are listed on the left; the device types of the selected category on the right. Every
// type added here is also entered into the program's type registry (model/Registry.h), through
// which board files and IC descriptions find types by identifier.
//
// Rows keep their device type (a shared_ptr) as payload, so a type offered here lives as long as the
// palette. The category "all" holds every row of every category; rebuild() sorts it by an ordinal,
// case-sensitive comparison of the UTF-8 texts, while the category lists keep insertion order.
//
// run() is a nested event loop: the main window takes no input meanwhile, but its timer keeps
// ticking, so the board goes on simulating and drawing while the palette is open.
#pragma once

#include <QObject>
#include <QIcon>
#include <QMetaType>
#include <memory>
#include <string>
#include <vector>

#include "model/Draft.h"

class QDialog;
class QListWidget;
class QPushButton;
class QSplitter;
class QWidget;

Q_DECLARE_METATYPE(gw::DraftPtr)

namespace gw {

class TApp;

class TDraftTool : public QObject {
    Q_OBJECT
public:
    QWidget* Parent = nullptr;
    TApp* app = nullptr;
    QDialog* Window = nullptr;
    QSplitter* splitter = nullptr;
    std::vector<QIcon> katIcons;
    std::vector<std::string> kindNames;
    std::vector<std::string> kindTips;
    QListWidget* kindBox = nullptr;
    QListWidget* currentBox = nullptr;
    QListWidget* itemAll = nullptr;
    QPushButton* cmdUse = nullptr;

    // Builds the hidden palette window with its category "all". `katsPath` is the category icon
    // strip (square cells as wide as the picture is high); a missing picture leaves rows without icons.
    static std::unique_ptr<TDraftTool> Create(QWidget* parent, TApp* app,
                                              const std::string& katsPath = "data/kats.png");
    ~TDraftTool() override;

    // Adds a category; answers its device list.
    QListWidget* addKind(const std::string& name, const std::string& tip, int icon);
    // Adds a device type to `box` and to "all" (icon -2: the category's own icon) and registers it
    // under its identifier unless that is empty. `resort` 1 sorts "all" at once.
    void addDraft(const std::string& name, const std::string& desc, int icon, QListWidget* box,
                  const DraftPtr& draft, int resort);
    // Sorts "all" by text (ordinal, case-sensitive).
    void rebuild();
    // Registry lookup; usable without a palette.
    static DraftPtr getDraft(const std::string& id);
    // Shows the palette modally; the chosen type, or nullptr when it was closed.
    DraftPtr run();
    // The type of the selected row of the selected category, or nullptr.
    DraftPtr getCurrentObject() const;
    // Selects category row i (-1 keeps the selection) and shows its list.
    void SelectItem(int i);
    void showDraftBox(QListWidget* box);
    void updateForLanguage();
    void Destroy();

    // The device lists of the categories, in creation order ("all" first).
    std::vector<QListWidget*> categoryBoxes() const;
    // Whether run() is waiting for the user now.
    bool running() const { return running_; }

private:
    void finish(DraftPtr result);
    void updateUseButton();
    QIcon iconAt(int index) const;

    QWidget* listHolder_ = nullptr;
    bool running_ = false;
    bool finished_ = false;
    DraftPtr result_;
};

}  // namespace gw
