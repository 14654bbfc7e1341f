// TApp: the application. It owns the main window with its canvas, toolbar and menus, the 60 Hz
// frame timer, the current board, the palette and the two tool windows, the settings and the view
// transform (pan xMove/yMove, zoom xScale/yScale) through which the board is shown.
//
// Qt's event loop is the program's loop. Every input reaches one of the handlers below (timer tick,
// canvas mouse and keys, window moves, close requests, drops, menu commands); each handler first
// records the window geometry, then acts. Nested loops (the palette, message boxes, file and colour
// dialogs, the author dialog) keep the timer running, so the board goes on simulating and drawing.
//
// Every board change goes through the board's own operations; the application only feeds it the
// mouse (converted to board pixels) once per tick and per canvas event, and draws it once per tick.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppDialogs.h"
#include "board/BoardEngine.h"
#include "ic/ICDescription.h"

class QAction;
class QKeySequence;
class QListWidget;
class QMenu;
class QTimer;
class QToolBar;
class QWidget;

namespace gw {

class Canvas;
class ImageFont;
class Language;
class Localizer;
class Renderer;
class Settings;
class TDraftTool;
class ICToolHook;
class CaptionToolHook;
struct Pics;

// How the application starts; the defaults are the program's, tests change them.
struct AppOptions {
    // The splash stays up at least this long (the program: 4000 ms; GW_SPLASH_MS overrides it).
    int splashMinMs = 4000;
    bool showSplash = true;
    // Draw with the raster backend even when OpenGL is usable.
    bool forceRaster = false;
    // Draw with OpenGL even when it only runs in software (a display without a graphics processor).
    bool forceOpenGL = false;
    // The dialogs the commands open; null means the platform's (QtDialogs).
    std::shared_ptr<AppDialogs> dialogs;
    // The working folder at launch, for relative paths given on the command line ("" = none).
    std::string launchDir;
    // Called with the splash window once its last status line shows (screenshots).
    std::function<void(QWidget*)> onSplash;
};

class TApp : public QObject {
    Q_OBJECT
public:
    // --- fields (the application's state) ---
    QMainWindow* Window = nullptr;
    Canvas* canvas = nullptr;
    QTimer* timer = nullptr;
    double xMove = 0, yMove = 0;
    double xScale = 1.0, yScale = 1.0;
    int mx = 0, my = 0, mz = 0;
    int amx = 0, amy = 0, amz = 0;
    std::array<int, 3> md{0, 0, 0};
    std::array<int, 3> amd{0, 0, 0};
    int ctrl_Down = 0;
    std::shared_ptr<TBoardEngine> board;
    QMenu* menu = nullptr;
    QAction* menuShowNet = nullptr;
    QAction* menuShowNetDots = nullptr;
    QAction* menuShowScreenBorder = nullptr;
    std::unique_ptr<TDraftTool> draftTool;
    std::unique_ptr<ICToolHook> icTool;
    std::unique_ptr<CaptionToolHook> captionTool;
    int showFPS = 1;
    double FPS = 60.0;
    qint64 lastMS = 0;
    std::string lastSavepath;
    std::vector<QAction*> langMenus;
    int windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
    int windowState = 0;
    QToolBar* toolbar = nullptr;
    int bShowToolbar = 0;
    QAction* menuShowToolbar = nullptr;
    int bAlphaOn = 0;
    QAction* menuAlphaOn = nullptr;
    QListWidget* katEmitter = nullptr;
    QListWidget* katFeedback = nullptr;
    QListWidget* katLogic = nullptr;
    QListWidget* katAdder = nullptr;
    QListWidget* katRam = nullptr;
    QListWidget* katCounter = nullptr;
    QListWidget* katUDIC = nullptr;
    QListWidget* katExIC = nullptr;
    std::unique_ptr<Settings> iniSettings;
    int valid = 1;

    // The toolbar buttons in strip order (separators are null).
    std::vector<QAction*> toolButtons;

    // --- life cycle ---
    static std::unique_ptr<TApp> Create(AppOptions options = {});
    ~TApp() override;
    // Builds everything (splash, window, menus, board, tools, pictures, catalogue).
    void generate();
    // Opens the board named by the first argument (when given and not empty), then runs Qt's loop
    // until cmdClose ends it. Answers the loop's exit code.
    int run(const QStringList& args);
    // Opens the first argument as a board (the part of run() before the loop).
    void openStartArgument(const QStringList& args);
    void Destroy();

    // --- the frame ---
    // Hands the mouse to the board (one simulation step) and, with flag 1, draws a frame.
    void redrawCanvas(int flag);
    // Draws the board and the frame-rate readout; called by the canvas while it paints.
    void paintFrame(Renderer& r, int w, int h);
    void Scale(double sx, double sy);
    void jumpToDevices();
    void updateWindowTitle();
    QString windowTitleText() const;

    // --- input, as the main window and the canvas deliver it ---
    void onTimerTick();
    void onWindowMovedOrResized();
    void onCloseRequest();
    void onFileDropped(const QString& path);
    void onCanvasMouseMove(int x, int y);
    void onCanvasMouseButton(int button, bool down, int x, int y);  // button 1 left, 2 right, 3 middle
    void onCanvasWheel(int notches);
    void onCanvasControlKey(bool down);
    void onCanvasFocusLost();
    // The command table: menus, toolbar and the popup menu all end here.
    void OnCommand(int code, QAction* source = nullptr);

    // --- boards ---
    std::shared_ptr<TBoardEngine> generateNewBoard();
    void setNewBoard(const std::shared_ptr<TBoardEngine>& b);
    DraftPtr startDraftSelector();
    DraftPtr _addUDIC(const ICDescriptionPtr& description, int external);
    void generateDraftElements();

    // --- commands ---
    int cmdClose();
    int menNew();
    int menOpen(const std::string& path);
    int menSave(const std::string& path);
    int menSaveAs(const std::string& path);
    int changeShowNet();
    int changeShowNetDots();
    int changeShowScreenborder();
    int changeBackgroundColor();
    int changeNetColor();
    int menShowToolbar();
    int menUseAlpha(int toggle);
    int defineIC();
    // Switches every text to `language` (null: keeps the current texts) and stores the choice.
    int changeLanguage(const std::shared_ptr<Language>& language);
    const std::vector<std::shared_ptr<Language>>& languages() const { return languages_; }
    int menHistory();
    int menRights();
    int menAuthor();

    // The fixed German texts of the information dialogs.
    static QString historyText();
    static QString rightsText();
    static QString authorText();
    static QString authorSite();
    // The label of a menu hotkey: modifier and key names through the language ("Ctrl" may read
    // "Strg"), letters, digits and function keys as they are.
    static QString hotkeyLabel(const QKeySequence& key);

    // The window client size the view computations use (the canvas's size).
    int clientWidth() const;
    int clientHeight() const;
    AppDialogs& dialogs() { return *dialogs_; }
    const AppOptions& options() const { return options_; }
    // Whether the last menSave wrote the file.
    bool lastSaveSucceeded() const { return lastSaveOk_; }
    // Problems met since the last time they were shown (IC circuits that cannot be built).
    void showPendingProblems();
    const std::shared_ptr<const Pics>& pics() const { return pics_; }
    bool usesOpenGL() const;
    // Number of board updates and frames drawn so far (for tests and the frame-rate figures).
    long long updateCount() const { return updates_; }
    long long frameCount() const { return frames_; }
    // The millisecond clock the frame-rate readout uses.
    qint64 nowMs() const { return clock_.elapsed(); }

private:
    explicit TApp(AppOptions options);
    void trackWindow();
    void buildMenus();
    void refreshMenus();
    void buildToolbar();
    void buildCanvas();
    void applySettingsToWindow();
    void scheduleTick();
    void setStatus(const char* token);
    // The unsaved-changes question shared by New, Open and Close: true to go on. Answering Yes saves
    // first and goes on only when the save really happened, so work is never thrown away.
    bool confirmDiscard(const char* token);
    void replaceBoard(const std::shared_ptr<TBoardEngine>& b);
    void _saveWindowData();
    void applyToolOpacity();
    void setPointerMove(bool on);

    void chooseLanguage();
    void updateToolTips();

    AppOptions options_;
    std::unique_ptr<Localizer> localizer_;
    std::vector<std::shared_ptr<Language>> languages_;
    std::shared_ptr<Language> startLanguage_;
    bool inRun_ = false;
    bool destroyed_ = false;
    std::shared_ptr<AppDialogs> dialogs_;
    std::shared_ptr<const Pics> pics_;
    std::shared_ptr<ImageFont> FONT;
    QElapsedTimer clock_;
    double nextTickMs_ = 0;
    bool pointerMove_ = false;
    bool lastSaveOk_ = false;
    bool showingProblems_ = false;
    QStringList pendingProblems_;
    QWidget* splash_ = nullptr;
    long long updates_ = 0, frames_ = 0;
    struct MenuLabel {
        QAction* action;
        std::string token;
        QString hotkey;  // fixed at creation
    };
    std::vector<MenuLabel> menuLabels_;
    std::vector<std::pair<QMenu*, std::string>> menuTitles_;
    std::vector<std::string> toolTokens_;
};

// The context callbacks given to every board; each does nothing unless its context is a TApp.
int _editCap(const CaptionPtr& caption, void* context);
int _addIC(const ICDescriptionPtr& description, void* context);
int _changedFunc(void* context);

}  // namespace gw
