#include "app/main_frame_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "app/frame_commands.h"
#include "app/serial_setup_view.h"
#include "comm/line_failure.h"
#include "pages/hwt_sheet_view.h"
#include "tools/test_dialogs_view.h"

namespace testbay {
namespace {

constexpr QSize kToolImageSize{24, 20};
constexpr QSize kToolButtonSize{31, 27};
constexpr int kStopPollMs = 100;

QSize ScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

QPixmap BlankToolImage() {
    QPixmap pixmap(kToolImageSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// An open door with an arrow leaving through it.
QIcon ExitIcon() {
    QPixmap pixmap = BlankToolImage();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(70, 70, 70), 1.5));
    painter.setBrush(QColor(235, 235, 235));
    painter.drawRect(QRectF(2.5, 1.5, 10, 17));
    QPainterPath door;
    door.moveTo(2.5, 1.5);
    door.lineTo(8.5, 4.0);
    door.lineTo(8.5, 20.0);
    door.lineTo(2.5, 18.5);
    door.closeSubpath();
    painter.setBrush(QColor(150, 95, 45));
    painter.drawPath(door);
    painter.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(11, 10), QPointF(21, 10));
    painter.drawLine(QPointF(17.5, 6.5), QPointF(21, 10));
    painter.drawLine(QPointF(17.5, 13.5), QPointF(21, 10));
    return QIcon(pixmap);
}

// A relay housing with its terminals and a lit LED.
QIcon HardwareTestIcon() {
    QPixmap pixmap = BlankToolImage();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 90), 1.5));
    for (int pin = 0; pin < 4; ++pin) {
        const qreal x = 6.5 + pin * 3.5;
        painter.drawLine(QPointF(x, 0.5), QPointF(x, 3.5));
        painter.drawLine(QPointF(x, 16.5), QPointF(x, 19.5));
    }
    painter.setPen(QPen(QColor(30, 30, 30), 1.0));
    painter.setBrush(QColor(60, 85, 120));
    painter.drawRoundedRect(QRectF(2.5, 3.5, 19, 13), 2, 2);
    painter.setBrush(QColor(40, 220, 60));
    painter.drawEllipse(QRectF(5, 6, 4, 4));
    painter.setPen(QPen(QColor(250, 210, 40), 1.5));
    painter.drawPolyline(
        QPolygonF({QPointF(11, 13), QPointF(13, 8), QPointF(15, 13), QPointF(17, 8), QPointF(19, 13)}));
    return QIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(const QString& title, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(title);
    // The view draws nothing of its own.
    setCentralWidget(new QWidget);
    CreateMenu();
    CreateToolBar();
    PlaceAtStoredPosition();
}

// The sheets go before the connection they share.
CMainFrame::~CMainFrame() { qDeleteAll(findChildren<CHWTSheet*>(Qt::FindDirectChildrenOnly)); }

void CMainFrame::CreateMenu() {
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    QAction* serialConnection =
        settingsMenu->addAction(QStringLiteral("&Serial Connection"), this, &CMainFrame::OnSerialConnection);
    serialConnection->setData(kCommandSerialConnection);
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("MainToolBar"));
    toolBar_->setIconSize(kToolImageSize);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    QAction* exit = toolBar_->addAction(ExitIcon(), QStringLiteral("Exit"), this, &QWidget::close);
    QAction* hardwareTest = toolBar_->addAction(HardwareTestIcon(), QStringLiteral("Hardware-Testbaying"), this,
                                                [this] { OnHardwareTest(); });
    exit->setData(kCommandExit);
    hardwareTest->setData(kCommandHardwareTest);
    for (QAction* action : {exit, hardwareTest}) toolBar_->widgetForAction(action)->setFixedSize(kToolButtonSize);
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::PlaceAtStoredPosition() {
    const QSize screen = ScreenSize();
    const FrameGeometry geometry = InitialFrameGeometry(screen.width(), screen.height());
    // The stored rectangle is the whole window; its frame is known once the
    // native window exists (a window manager may add to it later).
    winId();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    move(geometry.x, geometry.y);
    resize(geometry.width - frame.left() - frame.right(), geometry.height - frame.top() - frame.bottom());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const QRect frame = frameGeometry();
    StoreFramePosition({frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()});
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The open dialogs close once their runs have let the client go.
    connection_.CloseAfterTestRuns(HandleWindowEventsWhileWaiting);
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (dialog->isVisible()) dialog->reject();
    }
    event->accept();
}

void CMainFrame::CloseOnStopRequest(const std::atomic<bool>& stop) {
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this, watch, &stop] {
        if (!stop.load()) return;
        watch->stop();
        close();
        emit closedOnStopRequest();
    });
    watch->start(kStopPollMs);
}

void CMainFrame::OnSerialConnection() {
    CSerialSetupDlg dialog(this);
    dialog.exec();
}

int CMainFrame::EnsureConnected() {
    FrameConnection::Outcome outcome;
    {
        const WaitCursor wait;
        outcome = connection_.EnsureConnectedForUser();
    }
    if (outcome.beep) QApplication::beep();
    if (outcome.showMessage) TellUnableToConnect(QString::fromStdString(outcome.detail));
    return outcome.result;
}

void CMainFrame::TellUnableToConnect(const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kProgramName), QString::fromUtf8(kUnableToConnectText),
                    QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

CHWTSheet* CMainFrame::OnHardwareTest() {
    if (EnsureConnected() != 1) return nullptr;
    auto* sheet = new CHWTSheet(this);
    connect(sheet, &CHWTSheet::closing, this, &CMainFrame::ReleaseTestWindow);
    sheet->show();
    RegisterTestWindow(sheet);
    return sheet;
}

void CMainFrame::RegisterTestWindow(CHWTSheet* window) {
    const int top = CentredWindowTop(ScreenSize().height(), window->frameGeometry().height());
    window->move(window->frameGeometry().left(), top);
    window->raise();
    window->activateWindow();
    connection_.RegisterTestWindow(window);
}

void CMainFrame::ReleaseTestWindow(CHWTSheet* window) {
    if (const auto failure = CatchLineFailure([this, window] { connection_.ReleaseTestWindow(window); })) {
        QMessageBox::warning(this, QString::fromUtf8(kProgramName), QString::fromStdString(*failure));
    }
    raise();
    activateWindow();
}

}  // namespace testbay
