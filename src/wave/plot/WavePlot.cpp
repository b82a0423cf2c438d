#include "WavePlot.h"

#include "LayerSurface.h"
#include "PlotMath.h"
#include "PlotPicture.h"
#include "SurfaceView.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

TWavePlot::TWavePlot(TWaveStore& store, QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedSize(PlotPicture::PanelSize);
    const QColor face = palette().color(QPalette::Button);
    // The panel is button-face coloured, as the scale strip on it: what shows between
    // the surfaces is then the colour the exported picture has there.
    QPalette panel = palette();
    panel.setColor(QPalette::Window, face);
    setPalette(panel);
    setAutoFillBackground(true);
    Model = std::make_unique<TPlot>(
        store,
        [](int width, int height, uint32_t background) {
            return std::make_unique<TLayerSurface>(width, height, background);
        },
        0xFF000000u | (face.rgb() & 0x00FFFFFFu));

    for (int i = 0; i < TPlot::StripCount; ++i) {
        auto* selector = new QComboBox(this);
        selector->setObjectName(QStringLiteral("ChannelSelector%1").arg(i));
        selector->setEditable(true); // a drop-down box also takes typed text
        selector->setInsertPolicy(QComboBox::NoInsert);
        selector->setCompleter(nullptr);
        for (int entry = 0; entry < TPlot::SelectorEntries; ++entry)
            selector->addItem(QStringLiteral("ch%1").arg(entry));
        selector->setCurrentIndex(i); // before the connection: selecting runs nothing
        selector->setGeometry(1, 71 * i + 4, 48, selector->sizeHint().height());
        // A picked entry and typed text both change the edit text; text that names
        // no entry leaves the strip without a channel.
        connect(selector, &QComboBox::editTextChanged, this, [this, i, selector](const QString& t) {
            Model->SelectorChanged(i, selector->findText(t), t);
        });
        ChannelSelectors[static_cast<size_t>(i)] = selector;

        auto* view = new TSurfaceView(Model->Strip(i), this);
        view->setObjectName(QStringLiteral("Strip%1").arg(i));
        view->move(PlotPicture::StripOrigin(i));
        StripViews[static_cast<size_t>(i)] = view;
    }

    ChannelCaption = new QLabel(this);
    ChannelCaption->setObjectName(QStringLiteral("ChannelCaption"));
    QFont captionFont = ChannelCaption->font();
    captionFont.setPointSize(14);
    ChannelCaption->setFont(captionFont);
    ChannelCaption->setStyleSheet(QStringLiteral("QLabel { color: red; background: white; }"));
    ChannelCaption->setGeometry(2, 432, 45, ChannelCaption->sizeHint().height());
    Model->OnChannelCaption = [this](const QString& text) { ChannelCaption->setText(text); };

    LargeView = new TSurfaceView(Model->Large(), this);
    LargeView->setObjectName(QStringLiteral("LargePlot"));
    LargeView->move(PlotPicture::LargeOrigin);
    Image321 = new TSurfaceView(Model->Scale(), this);
    Image321->setObjectName(QStringLiteral("Image321"));
    Image321->move(PlotPicture::ScaleOrigin);

    const auto hiddenButton = [this](const char* name, int top) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoRaise(true);
        button->setGeometry(28, top, 20, 22);
        button->setIconSize(QSize(11, 9));
        button->hide();
        return button;
    };
    SUpLineUp = hiddenButton("SUpLineUp", 496);
    SUpLineDown = hiddenButton("SUpLineDown", 518);
    SDownLineUp = hiddenButton("SDownLineUp", 592);
    SDownLineDown = hiddenButton("SDownLineDown", 614);
}

TWavePlot::~TWavePlot() {
    // The views go with the QObject children, after the surfaces: unhook them first.
    for (int i = 0; i < TPlot::StripCount; ++i)
        Model->Strip(i).OnChanged = nullptr;
    Model->Large().OnChanged = nullptr;
    Model->Scale().OnChanged = nullptr;
}
