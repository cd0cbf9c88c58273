#include "pages/hwt_sheet_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "tools/test_dialogs_view.h"

namespace testbay {
namespace {

constexpr QSize kRestingLampSize{36, 13};
constexpr QSize kResultLampSize{37, 14};

QColor LampColour(LampImage image) {
    switch (image) {
    case LampImage::Success: return {0, 176, 48};
    case LampImage::Failure: return {220, 32, 32};
    case LampImage::Resting: break;
    }
    return {245, 205, 0};
}

QLabel* BuddyLabel(const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setBuddy(buddy);
    return label;
}

}  // namespace

QPixmap LampPixmap(LampImage image) {
    const QSize size = image == LampImage::Resting ? kRestingLampSize : kResultLampSize;
    const QColor colour = LampColour(image);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient shading(body.topLeft(), body.bottomLeft());
    shading.setColorAt(0.0, colour.lighter(150));
    shading.setColorAt(0.5, colour);
    shading.setColorAt(1.0, colour.darker(140));
    painter.setPen(QPen(colour.darker(220), 1.0));
    painter.setBrush(shading);
    const qreal radius = body.height() / 2;
    painter.drawRoundedRect(body, radius, radius);
    // A glint, so that the lamp reads as lit glass.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 120));
    const QRectF glint(body.left() + 5, body.top() + 1.5, body.width() - 10, body.height() / 2 - 2);
    painter.drawRoundedRect(glint, glint.height() / 2, glint.height() / 2);
    return pixmap;
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

CHWTCom::CHWTCom(QWidget* parent)
    : QWidget(parent), page_([this] { return static_cast<int64_t>(lampClock_.elapsed()); }) {
    lampClock_.start();
    lampTimer_.setSingleShot(true);
    lampTimer_.setTimerType(Qt::PreciseTimer);

    tabs_ = new QTabBar;
    tabs_->setExpanding(false);
    auto* grid = new QGridLayout;
    grid->addWidget(MakeIdentification(), 0, 0);
    grid->addWidget(MakeActions(), 0, 1);
    grid->addWidget(MakeOptions(), 1, 0);
    grid->addWidget(MakeResponse(), 1, 1);
    auto* body = new QFrame;
    body->setFrameShape(QFrame::StyledPanel);
    body->setLayout(grid);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(tabs_);
    layout->addWidget(body);
    layout->addStretch();

    Connect();
    Guarded([this] { page_.Initialise(); });
}

QWidget* CHWTCom::MakeIdentification() {
    portId_ = new QLineEdit;
    portId_->setReadOnly(true);
    type_ = new QLineEdit;
    type_->setReadOnly(true);
    auto* box = new QGroupBox(QStringLiteral("Identification"));
    auto* layout = new QGridLayout(box);
    layout->addWidget(BuddyLabel("Port-ID", portId_), 0, 0);
    layout->addWidget(portId_, 0, 1);
    layout->addWidget(BuddyLabel("Type", type_), 1, 0);
    layout->addWidget(type_, 1, 1);
    return box;
}

QWidget* CHWTCom::MakeActions() {
    baudrates_ = new QComboBox;
    for (const int32_t rate : SerialPortsPage::kBaudRates) baudrates_->addItem(QString::number(rate));
    // Wide enough for either label, so that the page keeps its size.
    testButton_ = new QPushButton(QString::fromUtf8(SerialPortsPage::kProtectionTestLabel));
    testButton_->setMinimumWidth(testButton_->sizeHint().width());
    testButton_->setText(QString::fromUtf8(SerialPortsPage::kSimpleTestLabel));
    extendedTests_ = new QPushButton(QStringLiteral("Extended T&ests..."));
    extendedTests_->setEnabled(false);
    auto* box = new QGroupBox(QStringLiteral("Actions"));
    auto* layout = new QGridLayout(box);
    layout->addWidget(BuddyLabel("Select Baudrate", baudrates_), 0, 0);
    layout->addWidget(baudrates_, 0, 1);
    layout->addWidget(testButton_, 1, 0);
    layout->addWidget(extendedTests_, 1, 1);
    return box;
}

QWidget* CHWTCom::MakeOptions() {
    protection_ = new QCheckBox(QStringLiteral("Use as &protection interface"));
    channels_ = new QComboBox;
    channels_->setEnabled(false);
    channels_->setMinimumContentsLength(3);
    auto* box = new QGroupBox(QStringLiteral("Options"));
    auto* layout = new QGridLayout(box);
    layout->addWidget(protection_, 0, 0, 1, 2);
    layout->addWidget(BuddyLabel("Select port", channels_), 1, 0);
    layout->addWidget(channels_, 1, 1);
    return box;
}

QWidget* CHWTCom::MakeResponse() {
    lamp_ = new QLabel;
    lamp_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lamp_->setPixmap(LampPixmap(LampImage::Resting));
    auto* box = new QGroupBox(QStringLiteral("Action response"));
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(lamp_);
    return box;
}

void CHWTCom::Connect() {
    connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) { Guarded([&] { page_.SelectTab(tab); }); });
    // activated: only the user's choices, never the page's own updates.
    connect(baudrates_, &QComboBox::activated, this,
            [this](int entry) { Guarded([&] { page_.ChooseBaudrate(entry); }); });
    connect(channels_, &QComboBox::activated, this,
            [this](int entry) { Guarded([&] { page_.ChooseChannel(entry); }); });
    connect(protection_, &QCheckBox::clicked, this,
            [this](bool ticked) { Guarded([&] { page_.SetProtectionTicked(ticked); }); });
    connect(testButton_, &QPushButton::clicked, this, [this] { page_.PressTestButton(*this); });
    connect(extendedTests_, &QPushButton::clicked, this, [this] { page_.PressExtendedTests(*this); });
    connect(&lampTimer_, &QTimer::timeout, this, [this] {
        page_.Lamp().Expire(page_.NowMs());
        ShowLamp();
    });
}

void CHWTCom::ShowPage() {
    ShowControls();
    ShowLamp();
}

void CHWTCom::RunBusy(const std::function<void()>& work) {
    const WaitCursor wait;
    work();
}

void CHWTCom::ShowControls() {
    const SerialPortsControls& controls = page_.Controls();
    {
        const QSignalBlocker blocker(tabs_);
        if (tabs_->count() != static_cast<int>(controls.tabLabels.size())) {
            while (tabs_->count() > 0) tabs_->removeTab(0);
            for (const std::string& label : controls.tabLabels) tabs_->addTab(QString::fromStdString(label));
        }
        tabs_->setCurrentIndex(controls.selectedTab);
    }
    portId_->setText(QString::fromStdString(controls.portId));
    type_->setText(QString::fromStdString(controls.typeName));
    baudrates_->setCurrentIndex(controls.baudSelection);
    baudrates_->setEnabled(controls.baudEnabled);
    testButton_->setText(QString::fromStdString(controls.testButtonLabel));
    testButton_->setEnabled(controls.testButtonEnabled);
    extendedTests_->setEnabled(controls.extendedTestsEnabled);
    protection_->setChecked(controls.protectionChecked);
    protection_->setEnabled(controls.protectionEnabled);
    channels_->clear();
    for (const int32_t channel : controls.channelChoices) channels_->addItem(QString::number(channel));
    channels_->setCurrentIndex(controls.channelSelection);
    channels_->setEnabled(controls.channelEnabled);
}

void CHWTCom::ShowLamp() {
    ResultLamp& lamp = page_.Lamp();
    lamp_->setPixmap(LampPixmap(lamp.Image()));
    const int64_t remaining = lamp.RemainingMs(page_.NowMs());
    if (remaining < 0) {
        lampTimer_.stop();
    } else {
        lampTimer_.start(static_cast<int>(remaining));
    }
}

CHWTSheet::CHWTSheet(QWidget* owner) : QWidget(owner, Qt::Dialog) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setAttribute(Qt::WA_DeleteOnClose);
    pages_ = new QTabWidget;
    serialPorts_ = new CHWTCom;
    pages_->addTab(serialPorts_, QStringLiteral("Serial Ports"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    // The extended tests belong to the main frame, the protection-interface
    // test to this sheet.
    connect(serialPorts_, &CHWTCom::extendedTestsRequested, this,
            [owner](int portIndex) { OpenEnhancedCommunicationTests(owner, portIndex); });
    connect(serialPorts_, &CHWTCom::protectionTestRequested, this, [this](int channel) { OpenWsTest(this, channel); });
}

void CHWTSheet::closeEvent(QCloseEvent* event) {
    emit closing(this);
    QWidget::closeEvent(event);
}

}  // namespace testbay
