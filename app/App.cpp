// Start-up, the frame, input handling and board hand-over of the application.
#include "app/App.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "app/Canvas.h"
#include "app/DraftTool.h"
#include "app/MainWindow.h"
#include "app/Texts.h"
#include "app/ToolHooks.h"
#include "io/Language.h"
#include "io/Settings.h"
#include "model/Catalogue.h"
#include "ui/render/ImageFont.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

namespace {

// The applications alive now: a callback context is used only when it is one of them.
std::set<const void*>& liveApps() {
    static std::set<const void*> apps;
    return apps;
}
TApp* appOf(void* context) { return liveApps().count(context) ? static_cast<TApp*>(context) : nullptr; }

constexpr double kTickMs = 1000.0 / 60.0;

}  // namespace

int _editCap(const CaptionPtr& caption, void* context) {
    if (TApp* app = appOf(context); app && app->captionTool) app->captionTool->Start(caption);
    return 0;
}

int _addIC(const ICDescriptionPtr& description, void* context) {
    if (TApp* app = appOf(context)) app->_addUDIC(description, 1);
    return 0;
}

int _changedFunc(void* context) {
    if (TApp* app = appOf(context)) app->updateWindowTitle();
    return 0;
}

TApp::TApp(AppOptions options) : options_(std::move(options)), localizer_(std::make_unique<Localizer>()) {
    dialogs_ = options_.dialogs ? options_.dialogs : std::make_shared<QtDialogs>();
    liveApps().insert(this);
}

TApp::~TApp() {
    Destroy();
    liveApps().erase(this);
}

std::unique_ptr<TApp> TApp::Create(AppOptions options) {
    std::unique_ptr<TApp> app(new TApp(std::move(options)));
    app->generate();
    return app;
}

void TApp::setStatus(const char* token) {
    if (auto* s = static_cast<QSplashScreen*>(splash_)) {
        s->showMessage(loc(token), Qt::AlignBottom | Qt::AlignLeft, QColor(40, 40, 40));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void TApp::chooseLanguage() {
    localizer_->setMode(Localizer::kSubstitute | Localizer::kRegisterGadgets);
    localizer_->setProgramPaths(QCoreApplication::applicationFilePath().toStdString(),
                                QCoreApplication::applicationDirPath().toStdString(), options_.launchDir);
    Localizer* l = localizer_.get();
    setLocalizer([l](const std::string& s) { return l->localize(s); });
    languages_ = loadLanguageFolder("lang");
    startLanguage_ = chooseStartupLanguage(languages_, iniSettings->language());
    if (startLanguage_) localizer_->setActive(startLanguage_);
}

void TApp::generate() {
    // 1. Message boxes and the platform know the program by this name.
    QCoreApplication::setApplicationName("Gatewright");
    QGuiApplication::setApplicationDisplayName("Gatewright");

    // 2. Settings.
    iniSettings = std::make_unique<Settings>("cfg.ini");
    iniSettings->open();

    // 3. Language.
    chooseLanguage();

    // 4.-5. Splash with its status line; the busy pointer until the main window shows.
    clock_.start();
    const qint64 startMs = clock_.elapsed();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (options_.showSplash) {
        QPixmap picture("data/startscreen.png");
        if (picture.isNull()) {
            picture = QPixmap(480, 270);
            picture.fill(QColor(235, 238, 242));
        }
        auto* s = new QSplashScreen(picture);
        s->setObjectName("splash");
        if (QScreen* scr = QGuiApplication::primaryScreen()) {
            const QRect a = scr->availableGeometry();
            s->move(a.x() + (a.width() - picture.width()) / 2, a.y() + (a.height() - picture.height()) / 2);
        }
        s->show();
        splash_ = s;
    }
    setStatus("{{ls_createNWG}}");

    // 6. Main window, 800 x 600, centred, hidden; its icon.
    auto* win = new TMainWindow(*this);
    Window = win;
    Window->setWindowTitle(QString());
    Window->resize(800, 600);
    if (QScreen* scr = QGuiApplication::primaryScreen()) {
        const QRect a = scr->availableGeometry();
        Window->move(a.x() + (a.width() - 800) / 2, a.y() + (a.height() - 600) / 2);
    }
    QIcon icon("data/icon.ico");
    if (icon.isNull()) icon = QIcon("data/icon.png");
    Window->setWindowIcon(icon);
    QApplication::setWindowIcon(icon);

    // 7.-8. Stored geometry and options.
    applySettingsToWindow();
    bShowToolbar = iniSettings->showToolbar() ? 1 : 0;
    bAlphaOn = iniSettings->useAlpha() ? 1 : 0;

    // 9. Toolbar.
    buildToolbar();

    // 10. Canvas filling the rest of the client area, with the keyboard focus.
    canvas = createCanvas(*this, Window,
                          options_.forceRaster   ? CanvasChoice::Raster
                          : options_.forceOpenGL ? CanvasChoice::OpenGL
                                                 : CanvasChoice::Auto);
    Window->setCentralWidget(canvas->widget());
    canvas->widget()->setFocus();

    // 11. The frame timer (started once the window shows).
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &TApp::onTimerTick);

    // 12. First board and the readout font.
    FPS = 60.0;
    board = generateNewBoard();
    FONT = ImageFont::load("data/font.ttf", 10);

    // 13. Tools, all hidden.
    icTool = createICTool(Window, *this, board);
    captionTool = createCaptionTool(Window, board);
    draftTool = TDraftTool::Create(Window, this);

    // 14. Menus.
    setStatus("{{ls_createMenu}}");
    buildMenus();

    // 15. The board becomes current.
    setNewBoard(board);

    // 16. Pictures.
    setStatus("{{ls_loadPics}}");
    pics_ = Pics::Load("data");

    // 17. The device catalogue. Problems of IC files are collected now and shown once the window is up.
    setICProblemHandler([this](const TICDescription& d, const std::string& reason) {
        pendingProblems_ << QString::fromStdString("Der Baustein \"" + d.Name + "\" (" + d.id +
                                                   ") kann nicht gebaut werden: " + reason +
                                                   ". Seine Ausgänge bleiben 0.");
        QTimer::singleShot(0, this, [this] { showPendingProblems(); });
    });
    setStatus("{{ls_createDrafts}}");
    generateDraftElements();

    // 18. The splash stays at least the minimum time.
    setStatus("{{ls_showLogo}}");
    if (splash_ && options_.onSplash) options_.onSplash(splash_);
    const qint64 rest = std::max<qint64>(0, startMs + options_.splashMinMs - clock_.elapsed());
    if (rest > 0 && splash_) {
        QEventLoop wait;
        QTimer::singleShot(static_cast<int>(rest), &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }

    // 19.-20. Texts in the chosen language, stored translucency applied.
    changeLanguage(startLanguage_);
    menUseAlpha(0);

    // 21. Splash away, pointer back, window up, frames start.
    if (splash_) {
        delete splash_;
        splash_ = nullptr;
    }
    QApplication::restoreOverrideCursor();
    if (windowState == 1) Window->showMaximized();
    else Window->show();
    canvas->widget()->setFocus();
    lastMS = clock_.elapsed();
    nextTickMs_ = static_cast<double>(clock_.elapsed());
    scheduleTick();
}

void TApp::applySettingsToWindow() {
    Settings::Geometry present;
    present.x = Window->x();
    present.y = Window->y();
    present.width = Window->width();
    present.height = Window->height();
    Settings::Geometry g = iniSettings->windowGeometry(present);
    // A damaged settings file must not leave a window too small to see or grab: sizes are kept
    // within what a screen can show. Positions are used as stored.
    g.width = std::clamp(g.width, 200, 16384);
    g.height = std::clamp(g.height, 150, 16384);
    Window->move(g.x, g.y);
    Window->resize(g.width, g.height);
    windowX = g.x;
    windowY = g.y;
    windowWidth = g.width;
    windowHeight = g.height;
    windowState = g.maximized ? 1 : 0;
    if (g.maximized) Window->setWindowState(Window->windowState() | Qt::WindowMaximized);
}

void TApp::buildToolbar() {
    toolbar = new QToolBar(Window);
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    Window->addToolBar(Qt::TopToolBarArea, toolbar);

    static const struct {
        const char* token;
        int code;
    } cells[21] = {{"{{wmf_newFile}}", 0},   {"{{wmf_openFile}}", 1}, {"{{wmf_save}}", 2},
                   {"{{wmf_SaveAs}}", 3},    {"{{wmf_exit}}", 4},     {"", -1},
                   {"{{wmt_default}}", 16},  {"{{wmt_device}}", 17},  {"{{wmt_wire}}", 18},
                   {"{{wmt_move}}", 19},     {"{{wmt_caption}}", 20}, {"{{wmt_inv}}", 21},
                   {"{{wmt_remove}}", 22},   {"{{wmt_ic}}", 23},      {"", -1},
                   {"{{wmv_showNet}}", 32},  {"{{wmv_showDots}}", 33}, {"{{wmv_focDevices}}", 37},
                   {"{{wmv_zoomIn}}", 38},   {"{{wmv_zoomOut}}", 39}, {"{{wmv_zoomDefault}}", 40}};

    // The strip is cut into square cells as wide as it is high.
    const QImage strip("data/toolbar.png");
    const int cell = strip.isNull() ? 0 : strip.height();
    if (cell > 0) toolbar->setIconSize(QSize(std::min(cell, 24), std::min(cell, 24)));
    for (int i = 0; i < 21; ++i) {
        toolTokens_.push_back(cells[i].token);
        if (cells[i].code < 0) {
            toolbar->addSeparator();
            toolButtons.push_back(nullptr);
            continue;
        }
        QIcon icon;
        if (cell > 0 && (i + 1) * cell <= strip.width()) icon = QIcon(QPixmap::fromImage(strip.copy(i * cell, 0, cell, cell)));
        auto* a = toolbar->addAction(icon, QString());
        a->setObjectName(QString("tool%1").arg(i));
        a->setData(cells[i].code);
        a->setToolTip(QString());
        if (cells[i].code == 32 || cells[i].code == 33) a->setCheckable(true);
        const int code = cells[i].code;
        connect(a, &QAction::triggered, this, [this, code] { OnCommand(code); });
        toolButtons.push_back(a);
    }
    toolbar->setVisible(bShowToolbar == 1);
}

void TApp::buildMenus() {
    QMenuBar* bar = Window->menuBar();
    auto title = [&](const char* token) {
        QMenu* m = bar->addMenu(loc(token));
        menuTitles_.emplace_back(m, token);
        return m;
    };
    auto item = [&](QMenu* m, const char* token, int code, const QKeySequence& key = QKeySequence(),
                    int checked = -1) {
        // The hotkey label is made once, in the start-up language, and shown after a tab.
        const QString hotkey = key.isEmpty() ? QString() : hotkeyLabel(key);
        QAction* a = m->addAction(hotkey.isEmpty() ? loc(token) : loc(token) + "\t" + hotkey);
        a->setData(code);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        if (checked >= 0) {
            a->setCheckable(true);
            a->setChecked(checked == 1);
        }
        menuLabels_.push_back({a, token, hotkey});
        connect(a, &QAction::triggered, this, [this, code, a] { OnCommand(code, a); });
        return a;
    };

    QMenu* file = title("{{wm_file}}");
    item(file, "{{wmf_newFile}}", 0, QKeySequence(Qt::CTRL | Qt::Key_N));
    item(file, "{{wmf_openFile}}", 1, QKeySequence(Qt::CTRL | Qt::Key_O));
    file->addSeparator();
    item(file, "{{wmf_save}}", 2, QKeySequence(Qt::CTRL | Qt::Key_S));
    item(file, "{{wmf_saveAs}}", 3, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    file->addSeparator();
    item(file, "{{wmf_exit}}", 4, QKeySequence(Qt::Key_Escape));

    QMenu* tools = title("{{wm_tools}}");
    item(tools, "{{wmt_default}}", 16, QKeySequence(Qt::Key_1));
    tools->addSeparator();
    item(tools, "{{wmt_device}}", 17, QKeySequence(Qt::Key_2));
    item(tools, "{{wmt_wire}}", 18, QKeySequence(Qt::Key_3));
    item(tools, "{{wmt_move}}", 19, QKeySequence(Qt::Key_4));
    item(tools, "{{wmt_caption}}", 20, QKeySequence(Qt::Key_5));
    item(tools, "{{wmt_inv}}", 21, QKeySequence(Qt::Key_6));
    item(tools, "{{wmt_remove}}", 22, QKeySequence(Qt::Key_7));
    tools->addSeparator();
    item(tools, "{{wmt_ic}}", 23, QKeySequence(Qt::Key_8));

    QMenu* view = title("{{wm_view}}");
    menuShowNet = item(view, "{{wmv_showNet}}", 32, QKeySequence(Qt::Key_F5), 1);
    menuShowNetDots = item(view, "{{wmv_showDots}}", 33, QKeySequence(Qt::Key_F6), 1);
    menuShowScreenBorder = item(view, "{{wmv_showBorder}}", 34, QKeySequence(Qt::Key_F7), 1);
    view->addSeparator();
    item(view, "{{wmv_colBG}}", 35, QKeySequence(Qt::Key_F8));
    item(view, "{{wmv_colNet}}", 36, QKeySequence(Qt::Key_F9));
    view->addSeparator();
    item(view, "{{wmv_focDevices}}", 37, QKeySequence(Qt::Key_C));
    view->addSeparator();
    item(view, "{{wmv_zoomIn}}", 38, QKeySequence(Qt::Key_Equal));
    item(view, "{{wmv_zoomOut}}", 39, QKeySequence(Qt::Key_Minus));
    item(view, "{{wmv_zoomDefault}}", 40, QKeySequence(Qt::Key_0));
    view->addSeparator();
    QMenu* langs = view->addMenu(loc("{{wmv_language}}"));
    menuTitles_.emplace_back(langs, "{{wmv_language}}");
    for (size_t i = 0; i < languages_.size(); ++i) {
        QAction* a = langs->addAction(QString::fromStdString(languages_[i]->id()));
        a->setCheckable(true);
        a->setData(static_cast<int>(i));
        connect(a, &QAction::triggered, this, [this, a] { OnCommand(41, a); });
        langMenus.push_back(a);
    }
    view->addSeparator();
    menuShowToolbar = item(view, "{{wmv_toolbar}}", 512, QKeySequence(Qt::Key_T), bShowToolbar);
    menuAlphaOn = item(view, "{{wmv_alphawindow}}", 513, QKeySequence(Qt::Key_P), bAlphaOn);

    QMenu* info = title("{{wm_info}}");
    item(info, "{{wmi_history}}", 48, QKeySequence(Qt::Key_F10));
    item(info, "{{wmi_rights}}", 49, QKeySequence(Qt::Key_F11));
    info->addSeparator();
    item(info, "{{wmi_author}}", 50, QKeySequence(Qt::Key_F12));

    // The popup tool menu of the middle button: the tool commands without hotkeys.
    menu = new QMenu(Window);
    menu->setObjectName("toolMenu");
    auto popupItem = [&](const char* token, int code) {
        QAction* a = menu->addAction(loc(token));
        a->setData(code);
        menuLabels_.push_back({a, token, QString()});
        connect(a, &QAction::triggered, this, [this, code, a] { OnCommand(code, a); });
    };
    popupItem("{{wmt_default}}", 16);
    menu->addSeparator();
    popupItem("{{wmt_device}}", 17);
    popupItem("{{wmt_wire}}", 18);
    popupItem("{{wmt_move}}", 19);
    popupItem("{{wmt_caption}}", 20);
    popupItem("{{wmt_inv}}", 21);
    popupItem("{{wmt_remove}}", 22);
    menu->addSeparator();
    popupItem("{{wmt_ic}}", 23);
}

QString TApp::hotkeyLabel(const QKeySequence& key) {
    if (key.isEmpty()) return QString();
    const QKeyCombination kc = key[0];
    const Qt::KeyboardModifiers mods = kc.keyboardModifiers();
    QStringList parts;
    if (mods & Qt::ControlModifier) parts << loc("{{Ctrl}}");
    if (mods & Qt::ShiftModifier) parts << loc("{{Shift}}");
    if (mods & Qt::AltModifier) parts << loc("{{Alt}}");
    const int k = kc.key();
    if (k == Qt::Key_Escape) parts << loc("{{Esc}}");
    else parts << QKeySequence(k).toString(QKeySequence::PortableText);
    return parts.join('+');
}

void TApp::refreshMenus() {
    for (const auto& l : menuLabels_)
        l.action->setText(l.hotkey.isEmpty() ? loc(l.token) : loc(l.token) + "\t" + l.hotkey);
    for (const auto& [m, token] : menuTitles_) m->setTitle(loc(token));
}

void TApp::updateToolTips() {
    for (size_t i = 0; i < toolButtons.size() && i < toolTokens_.size(); ++i) {
        if (!toolButtons[i]) continue;
        QString tip = loc(toolTokens_[i]);
        tip.remove('&');
        toolButtons[i]->setToolTip(tip);
        toolButtons[i]->setText(tip);
    }
}

// ---------------------------------------------------------------------------------------------
// The frame

int TApp::clientWidth() const {
    if (canvas) return static_cast<int>(canvas->widget()->width() * canvas->widget()->devicePixelRatioF());
    return Window ? Window->width() : 0;
}

int TApp::clientHeight() const {
    if (canvas) return static_cast<int>(canvas->widget()->height() * canvas->widget()->devicePixelRatioF());
    return Window ? Window->height() : 0;
}

bool TApp::usesOpenGL() const { return canvas && canvas->isOpenGL(); }

void TApp::scheduleTick() {
    if (!timer || valid == 0) return;
    // Ticks are due every 1000/60 ms on the clock, so waits of 16 and 17 ms alternate and the rate
    // is 60 per second. After a long stall the schedule starts afresh rather than catching up.
    const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
    nextTickMs_ += kTickMs;
    if (nextTickMs_ < now) nextTickMs_ = now + kTickMs;
    timer->start(std::max(0, static_cast<int>(std::ceil(nextTickMs_ - now))));
}

void TApp::onTimerTick() {
    scheduleTick();
    trackWindow();
    redrawCanvas(1);
}

void TApp::redrawCanvas(int flag) {
    if (!board || !canvas) return;
    const int dx = mx - amx, dy = my - amy, dz = mz - amz;
    std::array<int, 3> hit{};
    for (int i = 0; i < 3; ++i) hit[i] = (md[i] == 1 && amd[i] == 0) ? 1 : 0;

    board->Update(static_cast<int>((mx - xMove) / xScale), static_cast<int>((my - yMove) / yScale), hit[0], md[0],
                  ctrl_Down);
    ++updates_;

    if (flag == 1) {
        canvas->present();
        ++frames_;
        const qint64 now = clock_.elapsed();
        const qint64 interval = now - lastMS;
        // An exponential average of 1000 / frame time; a zero interval or a wild value starts at 60.
        FPS = interval > 0 ? 25.0 / static_cast<double>(interval) + 0.975 * FPS : -1;
        if (FPS < 0 || FPS > 70) FPS = 60.0;
        lastMS = now;
    }

    if (md[1] == 1) {
        xMove += dx;
        yMove += dy;
        setPointerMove(true);
    } else {
        setPointerMove(false);
    }

    if (hit[2] == 1) {
        md = {0, 0, 0};
        amd = {0, 0, 0};
        if (menu) menu->popup(canvas->widget()->mapToGlobal(QPoint(mx, my) / canvas->widget()->devicePixelRatioF()));
    }

    const double f = std::pow(2.0, 0.1 * dz);
    Scale(f, f);
}

void TApp::paintFrame(Renderer& r, int w, int h) {
    if (!board) return;
    r.setPics(pics_);
    r.resetState();
    r.setBlend(BlendMode::Alpha);
    board->Draw(r, xMove, yMove, xScale, yScale, w, h);
    if (showFPS == 1) {
        r.setColor(0, 0, 0);
        r.setAlpha(0.5);
        r.setImageFont(FONT.get());
        const std::string text = std::to_string(static_cast<int>(FPS)) + "FPS";
        r.drawText(text, w - r.textWidth(text), 0);
    }
    r.flush();
}

void TApp::setPointerMove(bool on) {
    if (on == pointerMove_ || !canvas) return;
    pointerMove_ = on;
    if (on) canvas->widget()->setCursor(Qt::SizeAllCursor);
    else canvas->widget()->unsetCursor();
}

void TApp::Scale(double sx, double sy) {
    const double w = clientWidth(), h = clientHeight();
    const double ox = xScale, oy = yScale;
    xScale = std::min(std::max(xScale * sx, 0.5), 1.5);
    yScale = std::min(std::max(yScale * sy, 0.5), 1.5);
    xMove = (xMove - 0.5 * w) / ox * xScale + 0.5 * w;
    yMove = (yMove - 0.5 * h) / oy * yScale + 0.5 * h;
}

void TApp::jumpToDevices() {
    if (!board || board->deviceList.empty()) return;
    bool first = true;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const auto& d : board->deviceList) {
        const double px = d->xPos * 20.0 * xScale, py = d->yPos * 20.0 * yScale;
        if (first) {
            minX = maxX = px;
            minY = maxY = py;
            first = false;
        } else {
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
    }
    xMove = -(minX + maxX) / 2 + 0.5 * clientWidth();
    yMove = -(minY + maxY) / 2 + 0.5 * clientHeight();
}

QString TApp::windowTitleText() const {
    QString t = QStringLiteral("Gatewright v1.0") + QStringLiteral(" - by Ostra Velnik - ");
    if (lastSavepath.empty()) {
        t += loc("{{wnd_unsaved}}");
    } else {
        const size_t cut = lastSavepath.find_last_of('/');
        t += QString::fromStdString(cut == std::string::npos ? lastSavepath : lastSavepath.substr(cut + 1));
    }
    if (board && board->isChanged()) t += "*";
    return t;
}

void TApp::updateWindowTitle() {
    if (Window) Window->setWindowTitle(windowTitleText());
}

// ---------------------------------------------------------------------------------------------
// Input

void TApp::trackWindow() {
    if (!Window || Window->isMinimized()) return;
    windowState = Window->isMaximized() ? 1 : 0;
    if (!Window->isMaximized()) {
        windowX = Window->x();
        windowY = Window->y();
        windowWidth = Window->width();
        windowHeight = Window->height();
    }
}

void TApp::onWindowMovedOrResized() {
    trackWindow();
    redrawCanvas(0);
}

void TApp::onCloseRequest() {
    trackWindow();
    cmdClose();
}

void TApp::onFileDropped(const QString& path) {
    trackWindow();
    if (!path.isEmpty()) menOpen(path.toStdString());
}

void TApp::onCanvasMouseMove(int x, int y) {
    trackWindow();
    mx = x;
    my = y;
    redrawCanvas(0);
    amx = mx;
    amy = my;
}

void TApp::onCanvasMouseButton(int button, bool down, int x, int y) {
    if (button < 1 || button > 3) return;
    trackWindow();
    // A button event carries its own position; taking it (as if the pointer had moved there first)
    // keeps the press on the spot clicked without turning the jump into a drag.
    mx = amx = x;
    my = amy = y;
    md[button - 1] = down ? 1 : 0;
    redrawCanvas(0);
    amd = md;
}

void TApp::onCanvasWheel(int notches) {
    trackWindow();
    mz += notches;
    redrawCanvas(0);
    amz = mz;
}

void TApp::onCanvasControlKey(bool down) {
    trackWindow();
    ctrl_Down = down ? 1 : 0;
}

void TApp::onCanvasFocusLost() {
    // A Control key released while a dialog or another window had the focus never reaches the
    // canvas; without this, the next click would act as a Control-click.
    ctrl_Down = 0;
}

void TApp::OnCommand(int code, QAction* source) {
    trackWindow();
    switch (code) {
        case 0: menNew(); break;
        case 1: menOpen(""); break;
        case 2: menSave(""); break;
        case 3: menSaveAs(""); break;
        case 4: cmdClose(); break;
        case 16: board->startDefaultMode(); break;
        case 17:
            if (DraftPtr d = startDraftSelector()) board->startDeviceMode(d);
            break;
        case 18: board->startWireMode(); break;
        case 19: board->startMoveMode(); break;
        case 20: board->startCaptionMode(); break;
        case 21: board->startInvertMode(); break;
        case 22: board->startRemoveMode(); break;
        case 23: defineIC(); break;
        case 32: changeShowNet(); break;
        case 33: changeShowNetDots(); break;
        case 34: changeShowScreenborder(); break;
        case 35: changeBackgroundColor(); break;
        case 36: changeNetColor(); break;
        case 37: jumpToDevices(); break;
        case 38: Scale(1.5, 1.5); break;
        case 39: Scale(0.75, 0.75); break;
        case 40: Scale(1.0 / xScale, 1.0 / yScale); break;
        case 41:
            if (source && source->data().isValid()) {
                const int i = source->data().toInt();
                if (i >= 0 && i < static_cast<int>(languages_.size())) changeLanguage(languages_[i]);
            }
            break;
        case 48: menHistory(); break;
        case 49: menRights(); break;
        case 50: menAuthor(); break;
        case 512: menShowToolbar(); break;
        case 513: menUseAlpha(1); break;
        default: break;  // codes without a command do nothing
    }
}

// ---------------------------------------------------------------------------------------------
// Boards, palette and catalogue

std::shared_ptr<TBoardEngine> TApp::generateNewBoard() {
    return TBoardEngine::Create(_editCap, this, _addIC, this, _changedFunc, this);
}

void TApp::setNewBoard(const std::shared_ptr<TBoardEngine>& b) {
    board = b;
    xMove = yMove = 0;
    xScale = yScale = 1.0;
    if (menuShowNet) menuShowNet->setChecked(b->bNetOn != 0);
    if (menuShowNetDots) menuShowNetDots->setChecked(b->bGridOn != 0);
    if (menuShowScreenBorder) menuShowScreenBorder->setChecked(b->bBorderOn != 0);
    if (toolButtons.size() > 16) {
        if (toolButtons[15]) toolButtons[15]->setChecked(b->bNetOn != 0);
        if (toolButtons[16]) toolButtons[16]->setChecked(b->bGridOn != 0);
    }
    if (icTool) icTool->setBoard(b);
    if (captionTool) captionTool->setBoard(b);
}

void TApp::replaceBoard(const std::shared_ptr<TBoardEngine>& b) {
    std::shared_ptr<TBoardEngine> old = board;
    setNewBoard(b);
    if (old && old != b) old->Destroy();
}

DraftPtr TApp::startDraftSelector() { return draftTool ? draftTool->run() : nullptr; }

DraftPtr TApp::_addUDIC(const ICDescriptionPtr& description, int external) {
    if (!description || !draftTool) return nullptr;
    if (TDraftTool::getDraft(description->id)) return nullptr;
    DraftPtr draft = TLoadedDraft::Create(description);
    draftTool->addDraft(description->Name, description->info, -2, external ? katExIC : katUDIC, draft, external);
    // A description whose inner circuit cannot be built is still offered (its devices give 0), but
    // the user is told why at once rather than left to wonder.
    reportICProblem(*description);
    return draft;
}

void TApp::generateDraftElements() {
    QListWidget** fields[] = {&katEmitter, &katFeedback, &katLogic, &katAdder,
                              &katRam,     &katCounter,  &katUDIC,  &katExIC};
    const auto& cats = catalogueCategories();
    for (size_t i = 0; i < cats.size() && i < 8; ++i)
        *fields[i] = draftTool->addKind(cats[i].nameToken, cats[i].descToken, cats[i].icon);
    for (const CatalogueEntry& e : makeBuiltinCatalogue())
        draftTool->addDraft(e.name, "", e.icon, *fields[e.category], e.draft, 0);

    // The ICs of ics/, in the order the file system lists them; unreadable files and folders are
    // skipped without a word, a missing folder ends the scan at once.
    std::error_code ec;
    std::filesystem::directory_iterator it("ics", ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty()) break;
        if (name == "." || name == "..") continue;
        const std::string path = "ics/" + name;
        std::error_code fe;
        if (!std::filesystem::is_regular_file(path, fe)) continue;
        auto dsc = TICDescription::Create();
        if (dsc->readFromFile(path) != 0) _addUDIC(dsc, 0);
    }
    draftTool->rebuild();
}

void TApp::showPendingProblems() {
    if (showingProblems_ || pendingProblems_.isEmpty() || !Window || !Window->isVisible()) return;
    showingProblems_ = true;
    const QString text = pendingProblems_.join("\n\n");
    pendingProblems_.clear();
    dialogs_->notice(Window, text, true);
    showingProblems_ = false;
    if (!pendingProblems_.isEmpty()) QTimer::singleShot(0, this, [this] { showPendingProblems(); });
}

// ---------------------------------------------------------------------------------------------
// Running and closing

void TApp::openStartArgument(const QStringList& args) {
    if (args.isEmpty() || args.first().isEmpty()) return;
    std::string path = args.first().toStdString();
    // A relative path is taken from the folder the program was started in when the file is there
    // (what a user typing a path expects); otherwise it stays relative to the program's folder.
    if (!path.empty() && path[0] != '/' && !options_.launchDir.empty()) {
        const std::string fromLaunch = options_.launchDir + "/" + path;
        std::error_code ec;
        if (std::filesystem::is_regular_file(fromLaunch, ec)) path = fromLaunch;
    }
    menOpen(path);
}

int TApp::run(const QStringList& args) {
    openStartArgument(args);
    if (valid == 0) return 0;
    inRun_ = true;
    const int code = QApplication::exec();
    inRun_ = false;
    return code;
}

void TApp::_saveWindowData() {
    Settings::Geometry g;
    g.x = windowX;
    g.y = windowY;
    g.width = windowWidth;
    g.height = windowHeight;
    g.maximized = windowState == 1;
    iniSettings->setWindowGeometry(g);
}

int TApp::cmdClose() {
    if (!confirmDiscard("{{dm_close}}")) return 0;
    _saveWindowData();
    iniSettings->save();
    valid = 0;
    if (timer) timer->stop();
    if (inRun_) QCoreApplication::exit(0);
    return 0;
}

void TApp::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    valid = 0;
    if (timer) timer->stop();
    setICProblemHandler({});
    setLocalizer({});
    if (draftTool) draftTool->Destroy();
    draftTool.reset();
    katEmitter = katFeedback = katLogic = katAdder = katRam = katCounter = katUDIC = katExIC = nullptr;
    if (icTool) icTool->Destroy();
    icTool.reset();
    if (captionTool) captionTool->Destroy();
    captionTool.reset();
    delete splash_;
    splash_ = nullptr;
    delete Window;  // with the canvas, menus and toolbar
    Window = nullptr;
    canvas = nullptr;
    menu = nullptr;
    toolbar = nullptr;
    toolButtons.clear();
    langMenus.clear();
    menuLabels_.clear();
    menuTitles_.clear();
    if (board) board->Destroy();
    board.reset();
}

}  // namespace gw
