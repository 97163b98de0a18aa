#include "ui/KestromDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>

#include "app/SettingsStore.h"
#include "server/Server.h"
#include "server/ServerHost.h"
#include "ui/AboutDlg.h"
#include "ui/AddUpdateSecurityItemDlg.h"
#include "ui/ClientPrompts.h"
#include "ui/ClientsDlg.h"
#include "ui/EventLog.h"
#include "ui/OptionsSheet.h"
#include "ui/PortField.h"
#include "ui/ProductGrid.h"
#include "ui/ProgramIcon.h"
#include "ui/QtBridge.h"
#include "ui/SystemTray.h"
#include "window/ProductGrid.h"
#include "window/WindowTexts.h"

namespace kestrom {

CKestromDlg::CKestromDlg(QWidget* parent)
    : QMainWindow(parent),
      caller_(QueuedCallsOn(this), ThreadOf(this)),
      logLines_(caller_, [this](const CLogHandOver::Batch& batch) { log_->Add(batch); }),
      server_(std::make_unique<CKestromServer>(*this)),
      icon_(ProgramIcon()),
      helpCandidates_(HelpFileCandidates(QCoreApplication::applicationDirPath())) {
    setWindowTitle(Qs(texts::kProgramName));
    unlockTimer_.setSingleShot(true);
    unlockTimer_.setInterval(kUnlockDelayMs);
    connect(&unlockTimer_, &QTimer::timeout, this, [this] { SetConnectionFieldsEnabled(true); });
    BuildControls();
    tray_ = new CSystemTray(this, balloonBar_);
    prompts_ = new CClientPrompts(this);
    UpdateGrid();
    FillControls();
}

CKestromDlg::~CKestromDlg() {
    // Threads still calling in are released before the listener and its threads go.
    caller_.Close();
    server_.reset();
}

void CKestromDlg::BuildControls() {
    auto* central = new QWidget(this);

    auto* folders = new QGroupBox(Qs(texts::kFoldersGroup), central);
    eventFolderEdit_ = new QLineEdit(folders);
    eventFolderEdit_->setObjectName(QStringLiteral("eventFolderEdit"));
    eventBrowse_ = new QPushButton(Qs(texts::kBrowse), folders);
    eventBrowse_->setObjectName(QStringLiteral("eventBrowseButton"));
    resultsFolderEdit_ = new QLineEdit(folders);
    resultsFolderEdit_->setObjectName(QStringLiteral("resultsFolderEdit"));
    resultsBrowse_ = new QPushButton(Qs(texts::kBrowse), folders);
    resultsBrowse_->setObjectName(QStringLiteral("resultsBrowseButton"));
    auto* folderLayout = new QGridLayout(folders);
    folderLayout->addWidget(new QLabel(Qs(texts::kEventFilesLabel), folders), 0, 0);
    folderLayout->addWidget(eventFolderEdit_, 0, 1);
    folderLayout->addWidget(eventBrowse_, 0, 2);
    folderLayout->addWidget(new QLabel(Qs(texts::kResultsFilesLabel), folders), 1, 0);
    folderLayout->addWidget(resultsFolderEdit_, 1, 1);
    folderLayout->addWidget(resultsBrowse_, 1, 2);
    folderLayout->setColumnStretch(1, 1);

    auto* connection = new QGroupBox(Qs(texts::kConnectionGroup), central);
    portEdit_ = new QLineEdit(connection);
    portEdit_->setObjectName(QStringLiteral("portEdit"));
    portEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), portEdit_));
    portEdit_->setMaximumWidth(90);
    connectionsEdit_ = new QLineEdit(connection);
    connectionsEdit_->setObjectName(QStringLiteral("connectionsEdit"));
    connectionsEdit_->setReadOnly(true);
    connectionsEdit_->setMaximumWidth(90);
    auto* connectionLayout = new QGridLayout(connection);
    connectionLayout->addWidget(new QLabel(Qs(texts::kPortLabel), connection), 0, 0);
    connectionLayout->addWidget(portEdit_, 0, 1);
    connectionLayout->addWidget(new QLabel(Qs(texts::kConnectionsLabel), connection), 1, 0);
    connectionLayout->addWidget(connectionsEdit_, 1, 1);
    connectionLayout->setRowStretch(2, 1);
    connection->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);

    auto* products = new QGroupBox(Qs(texts::kProductsGroup), central);
    grid_ = new CProductGrid(products);
    auto* productLayout = new QVBoxLayout(products);
    productLayout->addWidget(grid_);

    log_ = new CEventLog(central);
    balloonBar_ = new CBalloonBar(central);

    auto* middle = new QHBoxLayout;
    middle->addWidget(connection);
    middle->addWidget(products, 1);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(folders);
    layout->addLayout(middle);
    layout->addWidget(log_, 1);
    layout->addWidget(balloonBar_);
    setCentralWidget(central);
    resize(760, 640);

    connect(eventBrowse_, &QPushButton::clicked, this, &CKestromDlg::OnBrowseEventFolder);
    connect(resultsBrowse_, &QPushButton::clicked, this, &CKestromDlg::OnBrowseResultsFolder);
}

void CKestromDlg::AddItems(QMenu* menu, const std::vector<CMenuItem>& items) {
    for (const CMenuItem& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else {
            const CWindowCommand command = item.command;
            menu->addAction(Qs(item.text), this, [this, command] { RunCommand(command); });
        }
    }
}

void CKestromDlg::BuildMenus() {
    menuBar()->clear();
    for (const CMenu& menu : MainMenu(hyWire_))
        AddItems(menuBar()->addMenu(Qs(menu.title)), menu.items);
}

QMenu* CKestromDlg::BuildTrayMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("trayMenu"));
    AddItems(menu, TrayMenu(hyWire_));
    return menu;
}

void CKestromDlg::RunCommand(CWindowCommand command) {
    switch (command) {
        case CWindowCommand::kOptions:
            OnOptions();
            break;
        case CWindowCommand::kExit:
            close();
            break;
        case CWindowCommand::kWenlowClients:
            OnClients(CProduct::Wenlow);
            break;
        case CWindowCommand::kFieldOrvoClients:
            OnClients(CProduct::FieldOrvo);
            break;
        case CWindowCommand::kClerkOrvoClients:
            OnClients(CProduct::ClerkOrvo);
            break;
        case CWindowCommand::kHelpIndex:
            OnHelpIndex();
            break;
        case CWindowCommand::kHelpContents:
            OnHelpContents();
            break;
        case CWindowCommand::kConsole:
            OnConsole();
            break;
        case CWindowCommand::kAbout:
            OnAbout();
            break;
        case CWindowCommand::kOpen:
            OnOpen();
            break;
        case CWindowCommand::kSeparator:
            break;
    }
}

bool CKestromDlg::Initialise(CServerHost& host) {
    host_ = &host;
    const CKestromCommandLineInfo& commandLine = host.CommandLine();
    setWindowTitle(Qs(MainWindowTitle()));
    hyWire_ = commandLine.useHyWire;
    BuildMenus();
    QMenu* trayMenu = BuildTrayMenu();
    // Without a notification area the window keeps its settings and listener and shows
    // balloons itself.
    tray_->Create(icon_, Qs(texts::kTrayTooltip), trayMenu, trayMenu->actions().first());

    const CKestromSettings settings = server_->Settings().Get();
    port_ = static_cast<unsigned>(settings.PortNumber);
    eventFolder_ = Qs(settings.EventDirectory);
    resultsFolder_ = Qs(settings.ResultsDirectory);
    log_->SetLogEvents(settings.LogEvents);
    log_->List()->SetMaxLines(static_cast<std::size_t>(settings.LogListLines));
    logLines_.SetBacklog(static_cast<std::size_t>(settings.LogBacklogLines));

    const bool registered = host.Register([this] { caller_.Post([this] { OnOpen(); }); });
    setWindowIcon(icon_);
    FillControls();
    UpdateGrid();
    host.StartListening();
    startMinimized_ = commandLine.startMinimized;
    return registered;
}

void CKestromDlg::ShowAtStart() {
    show();
    if (startMinimized_) QTimer::singleShot(0, this, [this] { showMinimized(); });
}

QString CKestromDlg::ReadControls() {
    const CPortReading reading = ReadPortText(portEdit_->text());
    if (!reading.ok) return reading.error;
    port_ = reading.port;
    eventFolder_ = eventFolderEdit_->text();
    resultsFolder_ = resultsFolderEdit_->text();
    return {};
}

void CKestromDlg::FillControls() {
    eventFolderEdit_->setText(eventFolder_);
    resultsFolderEdit_->setText(resultsFolder_);
    portEdit_->setText(QString::number(port_));
    connectionsEdit_->setText(QString::number(connections_.Count()));
}

void CKestromDlg::SetConnectionFieldsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{eventFolderEdit_, eventBrowse_, resultsFolderEdit_,
                                         resultsBrowse_, portEdit_, connectionsEdit_}) {
        w->setEnabled(enabled);
    }
}

void CKestromDlg::UpdateGrid() {
    grid_->Refresh(ProductCountsOf(server_->ClientAddresses()));
}

// Operator interface ------------------------------------------------------------------------

void CKestromDlg::AddLogLine(std::u16string_view text, LogLevel level) {
    logLines_.Add(text, level, log_->ShowsLines());
}

void CKestromDlg::RefreshProductGrid() {
    caller_.Run([this] { UpdateGrid(); });
}

void CKestromDlg::ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon,
                              int seconds) {
    const QString balloonText = Qs(text);
    const QString balloonTitle = Qs(title);
    caller_.Run([&, this] { tray_->ShowBalloon(balloonText, balloonTitle, seconds); });
}

bool CKestromDlg::PromptAddClient(CAccessControlItem& entry) {
    // Questions wait in line on the window's thread while their connections wait here.
    return prompts_->Queue().AskAndWait(caller_, entry);
}

void CKestromDlg::ConnectionOpened() {
    caller_.Post([this] { OnConnectionOpened(); });
}

void CKestromDlg::ConnectionClosed() {
    caller_.Post([this] { OnConnectionClosed(); });
}

void CKestromDlg::OnConnectionOpened() {
    QString error;
    if (connections_.Opened()) {
        unlockTimer_.stop();
        // Edits not yet taken are kept before the fields lock.
        error = ReadControls();
        SetConnectionFieldsEnabled(false);
    }
    connectionsEdit_->setText(QString::number(connections_.Count()));
    UpdateGrid();
    // Shown last, so the count and the lock are settled before the message's own loop runs.
    if (!error.isEmpty()) ShowMessage(QMessageBox::Warning, error);
}

void CKestromDlg::OnConnectionClosed() {
    const bool last = connections_.Closed();
    connectionsEdit_->setText(QString::number(connections_.Count()));
    // The fields open a second after the last client leaves; the window keeps working
    // meanwhile, and a client arriving in that second keeps them locked.
    if (last) unlockTimer_.start();
}

// Commands ----------------------------------------------------------------------------------

void CKestromDlg::OnOptions() {
    // File > Options... and the tray's Options...
    COptionsSheet sheet(*server_, hyWire_, this);
    sheet.exec();
}

void CKestromDlg::OnClients(CProduct product) {
    CClientsDlg dialog(product, server_->ClientAddresses().Addresses(product), this);
    dialog.exec();
}

void CKestromDlg::OnConsole() {
    const CKestromSettings s = server_->Settings().Get();
    const QString address = QString::fromStdU16String(s.ConsoleAddress);
    const QString shown =
        address == QStringLiteral("0.0.0.0") ? QStringLiteral("127.0.0.1") : address;
    const QString url = QStringLiteral("http://%1:%2/").arg(shown).arg(s.ConsolePort);
    const QString text = s.ConsolePort == 0
                             ? QStringLiteral("The operator console is off (ConsolePort 0).")
                             : QStringLiteral(
                                   "Operator console: %1\nFrom another computer open it once as\n"
                                   "%1?token=%2")
                                   .arg(url, QString::fromStdU16String(s.ConsoleToken));
    QMessageBox::information(this, QStringLiteral("Operator Console"), text);
}

void CKestromDlg::OnAbout() {
    CAboutDlg dialog(icon_, isVisible() ? this : nullptr);
    dialog.exec();
}

void CKestromDlg::OnOpen() {
    tray_->RestoreFromTray();
}

void CKestromDlg::OnBrowseEventFolder() {
    BrowseFolder(eventFolder_, Qs(texts::kBrowseEventFolderTitle));
}

void CKestromDlg::OnBrowseResultsFolder() {
    BrowseFolder(resultsFolder_, Qs(texts::kBrowseResultsFolderTitle));
}

void CKestromDlg::BrowseFolder(QString& folder, const QString& title) {
    const QString error = ReadControls();
    if (!error.isEmpty()) ShowMessage(QMessageBox::Warning, error);
    QString chosen;
    if (folderPicker_) {
        chosen = folderPicker_(title, folder);
    } else {
        chosen = QFileDialog::getExistingDirectory(this, title, folder, QFileDialog::ShowDirsOnly);
    }
    if (chosen.isEmpty()) return;
    folder = QDir::toNativeSeparators(chosen);
    FillControls();
}

void CKestromDlg::OpenHelp(CHelpSection section) {
    const QString helpFile = FindHelpFile(helpCandidates_);
    if (helpFile.isEmpty()) {
        ShowMessage(
            QMessageBox::Warning,
            MissingHelpFileText(helpCandidates_.isEmpty() ? QString() : helpCandidates_.first()));
        return;
    }
    const QUrl url = HelpUrl(helpFile, section);
    if (urlOpener_) {
        urlOpener_(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void CKestromDlg::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (messageSink_) {
        messageSink_(icon, text);
        return;
    }
    QMessageBox box(icon, Qs(texts::kMessageBoxTitle), text, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.exec();
}

// Window events -----------------------------------------------------------------------------

void CKestromDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape never close the window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QMainWindow::keyPressEvent(event);
    }
}

void CKestromDlg::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        QTimer::singleShot(0, this, [this] { tray_->MinimiseToTray(); });
    }
}

void CKestromDlg::closeEvent(QCloseEvent* event) {
    if (!shutDown_) Shutdown();
    event->accept();
    emit Closed();
}

void CKestromDlg::Shutdown() {
    shutDown_ = true;
    // A bad port keeps the previous port and folders; the close goes on.
    const QString error = ReadControls();
    if (!error.isEmpty()) ShowMessage(QMessageBox::Warning, error);
    const bool logEvents = log_->LogEvents();
    server_->Settings().Update([&](CKestromSettings& s) {
        s.PortNumber = static_cast<int>(port_);
        s.EventDirectory = eventFolder_.toStdU16String();
        s.ResultsDirectory = resultsFolder_.toStdU16String();
        s.LogEvents = logEvents;
    });
    caller_.Close();
    // The host saves the settings (never over stored ones it could not load) and ends every
    // connection; a window that was never initialised only ends its listener.
    if (host_) {
        host_->Shutdown();
    } else {
        server_->StopListening();
    }
}

}  // namespace kestrom
