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
#include "core/Version.h"
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
#include "ui/SystemTray.h"

namespace kestrom {
namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CKestromDlg::CKestromDlg(QWidget* parent)
    : QMainWindow(parent),
      caller_(this),
      logLines_(static_cast<std::size_t>(CKestromSettings{}.LogBacklogLines)),
      server_(std::make_unique<CKestromServer>(*this)),
      icon_(ProgramIcon()),
      helpCandidates_(HelpFileCandidates(QCoreApplication::applicationDirPath())) {
    setWindowTitle(QStringLiteral("Kestrom"));
    unlockTimer_.setSingleShot(true);
    unlockTimer_.setInterval(1000);
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

    auto* folders = new QGroupBox(QStringLiteral("Directory Locations"), central);
    eventFolderEdit_ = new QLineEdit(folders);
    eventFolderEdit_->setObjectName(QStringLiteral("eventFolderEdit"));
    eventBrowse_ = new QPushButton(QStringLiteral("Browse..."), folders);
    eventBrowse_->setObjectName(QStringLiteral("eventBrowseButton"));
    resultsFolderEdit_ = new QLineEdit(folders);
    resultsFolderEdit_->setObjectName(QStringLiteral("resultsFolderEdit"));
    resultsBrowse_ = new QPushButton(QStringLiteral("Browse..."), folders);
    resultsBrowse_->setObjectName(QStringLiteral("resultsBrowseButton"));
    auto* folderLayout = new QGridLayout(folders);
    folderLayout->addWidget(new QLabel(QStringLiteral("Event Files:"), folders), 0, 0);
    folderLayout->addWidget(eventFolderEdit_, 0, 1);
    folderLayout->addWidget(eventBrowse_, 0, 2);
    folderLayout->addWidget(new QLabel(QStringLiteral("Results Files:"), folders), 1, 0);
    folderLayout->addWidget(resultsFolderEdit_, 1, 1);
    folderLayout->addWidget(resultsBrowse_, 1, 2);
    folderLayout->setColumnStretch(1, 1);

    auto* connection = new QGroupBox(QStringLiteral("Connection Settings"), central);
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
    connectionLayout->addWidget(new QLabel(QStringLiteral("Port Number:"), connection), 0, 0);
    connectionLayout->addWidget(portEdit_, 0, 1);
    connectionLayout->addWidget(new QLabel(QStringLiteral("Current Connections:"), connection), 1,
                                0);
    connectionLayout->addWidget(connectionsEdit_, 1, 1);
    connectionLayout->setRowStretch(2, 1);
    connection->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);

    auto* products = new QGroupBox(QStringLiteral("Enabled Products"), central);
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

void CKestromDlg::BuildMenus() {
    menuBar()->clear();
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    if (!hyWire_) {
        file->addAction(QStringLiteral("&Options..."), this, &CKestromDlg::OnOptions);
        file->addSeparator();
    }
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    if (!hyWire_) {
        QMenu* clients = menuBar()->addMenu(QStringLiteral("&Clients"));
        clients->addAction(QStringLiteral("&Wenlow..."), this,
                           [this] { OnClients(CProduct::Wenlow); });
        clients->addAction(QStringLiteral("&FieldOrvo..."), this,
                           [this] { OnClients(CProduct::FieldOrvo); });
        clients->addAction(QStringLiteral("C&lerkOrvo..."), this,
                           [this] { OnClients(CProduct::ClerkOrvo); });
    }
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Index..."), this, &CKestromDlg::OnHelpIndex);
    help->addAction(QStringLiteral("&Contents..."), this, &CKestromDlg::OnHelpContents);
    help->addAction(QStringLiteral("Operator C&onsole..."), this, &CKestromDlg::OnConsole);
    help->addSeparator();
    help->addAction(QStringLiteral("&About Kestrom..."), this, &CKestromDlg::OnAbout);
}

QMenu* CKestromDlg::BuildTrayMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("trayMenu"));
    menu->addAction(QStringLiteral("&Open"), this, &CKestromDlg::OnOpen);
    menu->addSeparator();
    if (!hyWire_) menu->addAction(QStringLiteral("O&ptions..."), this, &CKestromDlg::OnOptions);
    menu->addAction(QStringLiteral("&About..."), this, &CKestromDlg::OnAbout);
    menu->addSeparator();
    menu->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    return menu;
}

bool CKestromDlg::Initialise(CServerHost& host) {
    host_ = &host;
    const CKestromCommandLineInfo& commandLine = host.CommandLine();
    setWindowTitle(QStringLiteral("Kestrom v") +
                   QString::fromLatin1(kKestromVersion.data(),
                                       static_cast<qsizetype>(kKestromVersion.size())));
    hyWire_ = commandLine.useHyWire;
    BuildMenus();
    QMenu* trayMenu = BuildTrayMenu();
    // Without a notification area the window keeps its settings and listener and shows
    // balloons itself.
    tray_->Create(icon_, QStringLiteral("Kestrom"), trayMenu, trayMenu->actions().first());

    const CKestromSettings settings = server_->Settings().Get();
    port_ = static_cast<unsigned>(settings.PortNumber);
    eventFolder_ = ToQString(settings.EventDirectory);
    resultsFolder_ = ToQString(settings.ResultsDirectory);
    log_->SetLogEvents(settings.LogEvents);
    log_->List()->SetMaxLines(static_cast<std::size_t>(settings.LogListLines));
    logLines_.SetMaxLines(static_cast<std::size_t>(settings.LogBacklogLines));

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
    connectionsEdit_->setText(QString::number(currentConnections_));
}

void CKestromDlg::SetConnectionFieldsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{eventFolderEdit_, eventBrowse_, resultsFolderEdit_,
                                         resultsBrowse_, portEdit_, connectionsEdit_}) {
        w->setEnabled(enabled);
    }
}

void CKestromDlg::UpdateGrid() {
    const CClientAddressLists& clients = server_->ClientAddresses();
    grid_->Refresh({clients.Count(CProduct::FieldOrvo), clients.Count(CProduct::ClerkOrvo),
                    clients.Count(CProduct::Wenlow)});
}

// Operator interface ------------------------------------------------------------------------

void CKestromDlg::AddLogLine(std::u16string_view text, LogLevel level) {
    if (level == LogLevel::kNever) return;
    const bool takeAsked = logLines_.Add(LocalNow(), text, level, log_->ShowsLines());
    if (QThread::currentThread() == thread()) {
        // The window's own lines go through the hand-over too, after those already waiting.
        if (!caller_.IsClosed()) TakeLogLines();
    } else if (takeAsked) {
        caller_.Post([this] { TakeLogLines(); });
    }
}

void CKestromDlg::TakeLogLines() {
    // A few hundred lines at a time, so that a flood leaves the window's events their turn.
    constexpr std::size_t kLinesPerTake = 500;
    const CLogHandOver::Batch batch = logLines_.Take(kLinesPerTake);
    log_->Add(batch);
    if (batch.more) caller_.Post([this] { TakeLogLines(); });
}

void CKestromDlg::RefreshProductGrid() {
    caller_.Run([this] { UpdateGrid(); });
}

void CKestromDlg::ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon,
                              int seconds) {
    const QString balloonText = ToQString(text);
    const QString balloonTitle = ToQString(title);
    caller_.Run([&, this] { tray_->ShowBalloon(balloonText, balloonTitle, seconds); });
}

bool CKestromDlg::PromptAddClient(CAccessControlItem& entry) {
    // Questions wait in line on the window's thread while their connections wait here. The
    // answer lives in shared storage, so a dialog still open at shutdown never writes into a
    // caller that has been released.
    auto answer = std::make_shared<std::optional<CAccessControlItem>>();
    const bool asked =
        caller_.RunUntilFinished([this, proposed = entry, answer](std::function<void()> finish) {
            prompts_->Ask(proposed, [answer, finish](std::optional<CAccessControlItem> reply) {
                *answer = std::move(reply);
                finish();
            });
        });
    if (!asked || !answer->has_value()) return false;
    entry = **answer;
    return true;
}

void CKestromDlg::ConnectionOpened() {
    caller_.Post([this] { OnConnectionOpened(); });
}

void CKestromDlg::ConnectionClosed() {
    caller_.Post([this] { OnConnectionClosed(); });
}

void CKestromDlg::OnConnectionOpened() {
    QString error;
    if (currentConnections_ == 0) {
        unlockTimer_.stop();
        // Edits not yet taken are kept before the fields lock.
        error = ReadControls();
        SetConnectionFieldsEnabled(false);
    }
    ++currentConnections_;
    connectionsEdit_->setText(QString::number(currentConnections_));
    UpdateGrid();
    // Shown last, so the count and the lock are settled before the message's own loop runs.
    if (!error.isEmpty()) ShowMessage(QMessageBox::Warning, error);
}

void CKestromDlg::OnConnectionClosed() {
    if (currentConnections_ > 0) --currentConnections_;
    connectionsEdit_->setText(QString::number(currentConnections_));
    // The fields open a second after the last client leaves; the window keeps working
    // meanwhile, and a client arriving in that second keeps them locked.
    if (currentConnections_ == 0) unlockTimer_.start();
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
    BrowseFolder(eventFolder_, QStringLiteral("Select the Event Files Folder:"));
}

void CKestromDlg::OnBrowseResultsFolder() {
    BrowseFolder(resultsFolder_, QStringLiteral("Select the Results Files Folder:"));
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
    QMessageBox box(icon, QStringLiteral("Kestrom"), text, QMessageBox::Ok,
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
