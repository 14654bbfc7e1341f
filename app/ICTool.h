// TICTool: the window in which the user turns the circuit on the board into an IC. Title,
// description, body width/height and colour are chosen in fields and sliders; around a picture of
// the chip, every side has 15 pin places (TConPlace, as many shown as the side's length minus one),
// each with "I" / "O" buttons that let the user click a net on the board as an input or output pin,
// a "C" button that clears it, and a caption field inside the chip picture. Try places the generated
// IC without keeping it; Save writes it into ics/, adds it to the palette and places it.
//
// The tool holds its choices in an ICForm (ic/ICGenerate.h), which does the generation without any
// window; places hold their nets by shared_ptr, so a net removed from the board stays a valid
// object with notValid set, and the generation then clears that place.
//
// Saving writes "ics/" + the name made safe for a file name + "_" + id + ".ic" (the IC's Name itself
// is kept as typed), creates ics/ when it is missing, writes crash-safely, and tells the user when
// the file could not be written; the IC is offered in the palette either way.
#pragma once

#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/ToolHooks.h"
#include "ic/ICGenerate.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace gw {

class AppDialogs;
class ColorPanel;
class TApp;
class TICTool;
class ToolWindow;

class TConPlace {
public:
    TICTool* ic = nullptr;
    QWidget* Parent = nullptr;  // the button strip
    QWidget* panel = nullptr;
    QPushButton* cmdInput = nullptr;
    QPushButton* cmdOutput = nullptr;
    QPushButton* cmdClear = nullptr;
    QLineEdit* textfield = nullptr;
    ICPlace* state = nullptr;  // conTypeOutput, conWire and caption, kept in the tool's form

    TConPlace(TICTool* ic, QWidget* parent, int x, int y, int w, int h, QLineEdit* textfield, ICPlace* state);
    ~TConPlace();
    TConPlace(const TConPlace&) = delete;
    TConPlace& operator=(const TConPlace&) = delete;

    void SHOW();
    void HIDE();
    void verticalAdjust(int w, int h, int th, int i, int n);
    void horizontalAdjust(int w, int h, int tw, int i, int n);
    void setInputCallback(const WirePtr& net);
    void setOutputCallback(const WirePtr& net);
    void updateGadgets();
    // The "I", "O" and "C" buttons: pick a net on the board as input / output, or clear.
    void pickInput();
    void pickOutput();
    void clear();

    // Handed to the board's IC mode with the place as context; ignores a context that is not a live
    // place (the tool may have gone while the board still waited for a click).
    static int connectCallback(int typeOutput, const WirePtr& net, void* context);

private:
    void layoutButtons();
};

class TICTool : public ICToolHook {
public:
    QWidget* Parent = nullptr;
    TApp* app = nullptr;
    std::shared_ptr<TBoardEngine> board;
    ToolWindow* Window = nullptr;
    QLineEdit* txtTitle = nullptr;
    QLineEdit* txtDesc = nullptr;
    QSlider* sldWidth = nullptr;
    QLabel* lblWidth = nullptr;
    QSlider* sldHeight = nullptr;
    QLabel* lblHeight = nullptr;
    ColorPanel* panelColor = nullptr;
    int colR = 255, colG = 255, colB = 255;
    QPushButton* cmdTry = nullptr;
    QPushButton* cmdSave = nullptr;
    QWidget* table = nullptr;
    QWidget* icPanel = nullptr;
    QLineEdit* txtName = nullptr;
    QWidget* tfPanelRight = nullptr;
    QWidget* tfPanelBottom = nullptr;
    QWidget* tfPanelLeft = nullptr;
    QWidget* tfPanelTop = nullptr;
    QWidget* panelRight = nullptr;
    QWidget* panelBottom = nullptr;
    QWidget* panelLeft = nullptr;
    QWidget* panelTop = nullptr;
    std::vector<std::unique_ptr<TConPlace>> rightPlaces, bottomPlaces, leftPlaces, topPlaces;
    int Active = 0;

    // Where saved ICs go (the program's "ics", relative to its folder).
    std::string icFolder = "ics";
    // The dialogs for the colour chooser and the save-failure notice; null: the application's.
    std::shared_ptr<AppDialogs> dialogs;

    static std::unique_ptr<TICTool> Create(QWidget* parent, TApp* app, const std::shared_ptr<TBoardEngine>& board);
    ~TICTool() override;
    TICTool(const TICTool&) = delete;
    TICTool& operator=(const TICTool&) = delete;

    // --- ICToolHook ---
    QWidget* toolWindow() override;
    void setBoard(const std::shared_ptr<TBoardEngine>& b) override { board = b; }
    void updateForLanguage() override;
    void Destroy() override;
    void Start() override;

    void Close();
    int inAction() const { return Active; }
    void rebuild();
    int getWidth() const;
    int getHeight() const;
    // Reads the window into the form and generates the description (see ic/ICGenerate.h); places
    // whose net has gone are cleared.
    ICDescriptionPtr generateDescription();
    // The try and save commands. Save answers the type registered for the saved IC (or null).
    void tryIC();
    DraftPtr saveIC();
    // The colour panel was pressed: choose the body colour.
    void chooseColor();

    // The places of one side (ICSide order), and the form behind the window.
    std::vector<std::unique_ptr<TConPlace>>& places(int side);
    ICForm& form() { return form_; }
    // What the last generation had to leave unmerged or clear (for the user and the tests).
    const ICGenerateReport& lastReport() const { return report_; }
    // The file the last save wrote (or tried to write), and whether it succeeded.
    const std::string& lastSavePath() const { return lastSavePath_; }
    bool lastSaveSucceeded() const { return lastSaveOk_; }

private:
    TICTool() = default;
    void generate(QWidget* parent, TApp* app, const std::shared_ptr<TBoardEngine>& board);
    void layout();
    QLabel* label(QWidget* parent, const char* token);
    void tellAboutLinks();
    AppDialogs& dlg();

    ICForm form_;
    ICGenerateReport report_;
    std::string lastSavePath_;
    bool lastSaveOk_ = false;
    std::vector<std::pair<QLabel*, std::string>> labels_;
    QLabel* lblTitle_ = nullptr;
    QLabel* lblDesc_ = nullptr;
    QLabel* lblW_ = nullptr;
    QLabel* lblH_ = nullptr;
    QLabel* lblColor_ = nullptr;
    QLabel* lblConnections_ = nullptr;
};

}  // namespace gw
