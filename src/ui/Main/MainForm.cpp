#include "ui/Main/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include "capture/CaptureSink.h"
#include "ui/Main/Dialogs.h"
#include "ui/Main/GridBinding.h"
#include "ui/Main/OscillogramBox.h"
#include "ui/Main/SetupForm.h"

namespace tovanel {

namespace {

// The window's size at first start and its smallest size.
constexpr QSize InitialSize(800, 600);
constexpr QSize MinimumSize(630, 580);
// Widths of the design, in pixels: the unit group and the key panel.
constexpr int UnitGroupWidth = 185;
constexpr int KeyPanelWidth = 345;
// Width given to the oscillogram page beyond its smallest, at first start.
constexpr int OscillogramRoom = 200;

// The desktop theme's icon, or ours where the theme has none.
QIcon ThemedIcon(const char* theme, const char* fallback) {
    return QIcon::fromTheme(QString::fromLatin1(theme),
                            QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(fallback))));
}

QToolBar* ToolBar(const char* name, QWidget* parent, std::initializer_list<QAction*> actions) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QAction* a : actions) {
        if (a == nullptr)
            bar->addSeparator();
        else
            bar->addAction(a);
    }
    return bar;
}

QGroupBox* Group(const char* name, const char* title, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromUtf8(title), parent);
    group->setObjectName(QString::fromLatin1(name));
    return group;
}

template <class W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QSpinBox* UpDown(const char* name, QWidget* parent) {
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(0, 100);
    spin->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The handler runs for a finished value, not for every digit typed.
    spin->setKeyboardTracking(false);
    return spin;
}

void SetText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

void SetItems(QListWidget* list, const QStringList& items) {
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
    if (shown == items) return;
    list->clear();
    list->addItems(items);
}

// A grid's compact rows and its column widths in characters.
void StyleGrid(QTableView* grid, std::initializer_list<int> widthsInChars) {
    const int rowHeight = grid->fontMetrics().height() + 4;
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid->verticalHeader()->hide();
    grid->setWordWrap(false);
    grid->setAlternatingRowColors(false);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    // Characters as wide as a digit: the address and command columns hold digits.
    const int unit = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    int column = 0;
    for (int chars : widthsInChars) grid->setColumnWidth(column++, chars * unit + 12);
    grid->horizontalHeader()->setStretchLastSection(true);
}

}  // namespace

TMainForm::TMainForm(MainController& controller, UserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), controller_(controller), dialogs_(dialogs) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(ApplicationTitle));
    setMinimumSize(MinimumSize);

    CreateActions();
    CreateMenus();

    Splitter1 = Named(new QSplitter(Qt::Horizontal), "Splitter1");
    Splitter1->addWidget(CreateUnitGroup());
    PageControl1 = Named(new QTabWidget(Splitter1), "PageControl1");
    PageControl1->addTab(CreateDescriptionPage(), QStringLiteral("Description"));
    PageControl1->addTab(CreateKeysPage(), QStringLiteral("Keys"));
    PageControl1->setCurrentWidget(TabSheet2);
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);
    auto* central = new QWidget(this);
    auto* centralLayout = new QHBoxLayout(central);
    centralLayout->setContentsMargins(4, 2, 4, 0);
    centralLayout->addWidget(Splitter1);
    setCentralWidget(central);

    StatusText = Named(new QLabel(this), "StatusText");
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addWidget(StatusText, 1);

    BindGrids();
    Wire();
    WireUnitsAndKeys();
    // FormCreate: the protocol list is filled; modulation item 0 and its
    // handler select "(Auto)" in both lists.
    controller_.FormCreate();
    SyncControls();
    SyncActions();
    SyncDisplay();
    SyncStatus();
    ShowUnitFields();
    RestorePlacement();
}

TMainForm::~TMainForm() {
    controller_.Db().ADOTableUnits.RemoveListener(unitsListener_);
    // The grids' models listen to the views, which outlive the window.
    unitsGrid_.reset();
    codesGrid_.reset();
    transGrid_.reset();
}

void TMainForm::CreateActions() {
    auto make = [this](const char* name, const char* category, const char* caption, const char* hint,
                       const char* theme, const char* icon, bool enabled, bool checkable = false) {
        auto* a = new QAction(QString::fromUtf8(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("category", QString::fromLatin1(category));
        if (hint != nullptr) {
            a->setToolTip(QString::fromUtf8(hint));
            a->setStatusTip(QString::fromUtf8(hint));
        }
        if (theme != nullptr) a->setIcon(ThemedIcon(theme, icon));
        a->setEnabled(enabled);
        a->setCheckable(checkable);
        return a;
    };
    UnitAdd0 = make("UnitAdd0", "Units", "Add...", "Add new unit...", "list-add", "add", true);
    UnitEdit0 = make("UnitEdit0", "Units", "Edit...", "Edit unit...", "document-properties", "edit", true);
    UnitDup0 = make("UnitDup0", "Units", "Duplicate", "Duplicate unit", "edit-copy", "copy", true);
    UnitDel0 = make("UnitDel0", "Units", "Delete...", "Delete unit...", "edit-delete", "delete", true);
    Setup0 = make("Setup0", "General", "&Setup device...", "Setup input device...", "preferences-system",
                  "setup", true);
    DataBase0 = make("DataBase0", "General", "Data base...", nullptr, "network-server", "database", true);
    OpenRecording0 = make("OpenRecording0", "General", "Open recording...",
                          "Play a recorded key press as if it were received", "document-open", "open", true);
    OpenRecording0->setShortcut(QKeySequence::Open);
    Import0 = make("Import0", "General", "Import...", "Import the units and keys of a code file", "document-import",
                   "import", true);
    Export0 = make("Export0", "General", "Export unit...", "Export the current unit as a code file",
                   "document-export", "export", true);
    KeyAdd0 = make("KeyAdd0", "Keys", "Add", "Add new key", "list-add", "add", false);
    KeyUpdate0 = make("KeyUpdate0", "Keys", "Update", "Update key", "document-save", "save", false);
    KeyEdit0 = make("KeyEdit0", "Keys", "Edit...", "Edit...", "document-properties", "edit", false);
    KeyDel0 = make("KeyDel0", "Keys", "Delete...", "Delete key...", "edit-delete", "delete", false);
    Record0 = make("Record0", "General", "Record", "Enable record", "media-record", "record", true, true);
    Redraw0 = make("Redraw0", "General", "Redraw OSC", "Redraw OSC", "view-refresh", "redraw", true);
    Search0 = make("Search0", "Keys", "Search mode", "Search mode", "edit-find", "search", false, true);
    SearchNext0 = make("SearchNext0", "Keys", "Search next", "Search next", "go-next", "search-next", false);
    SearchAll0 = make("SearchAll0", "Keys", "Search all units", "Search all units", "edit-select-all",
                      "search-all", true, true);
    Transmit0 = make("Transmit0", "Transmit", "Transmit", "Transmit list!", "mail-send", "transmit", true);
    TransAdd0 = make("TransAdd0", "Transmit", "Add", "Add to transmit list", "list-add", "add", true);
    TransDel0 = make("TransDel0", "Transmit", "Delete", "Delete from transmit list", "list-remove", "remove", true);
    Exit1 = make("Exit1", "", "Exit", nullptr, nullptr, nullptr, true);
    Exit1->setShortcut(QKeySequence::Quit);
    About1 = make("About1", "", "About...", nullptr, nullptr, nullptr, true);
}

void TMainForm::CreateMenus() {
    auto menu = [this](const char* name, const char* title, std::initializer_list<QAction*> actions) {
        QMenu* m = menuBar()->addMenu(QString::fromUtf8(title));
        m->setObjectName(QString::fromLatin1(name));
        for (QAction* a : actions) {
            if (a == nullptr)
                m->addSeparator();
            else
                m->addAction(a);
        }
    };
    menu("File1", "&File", {OpenRecording0, nullptr, Import0, Export0, nullptr, Setup0, DataBase0, nullptr, Exit1});
    menu("Unit1", "&Unit", {UnitAdd0, UnitEdit0, UnitDup0, UnitDel0});
    menu("Keys1", "Keys",
         {Record0, nullptr, Search0, SearchNext0, SearchAll0, nullptr, KeyAdd0, KeyUpdate0, KeyEdit0, KeyDel0});
    menu("Transmit1", "Transmit", {TransAdd0, TransDel0, nullptr, Transmit0});
    menu("View1", "&View", {Redraw0});
    menu("Help1", "&?", {About1});
}

QWidget* TMainForm::CreateUnitGroup() {
    QGroupBox* group = Group("GroupUnits", "IR Remote Control Unit", this);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(ToolBar("ToolBarUnits", group, {UnitAdd0, UnitEdit0, UnitDup0, UnitDel0}));
    DBGridUnits = Named(new QTableView(group), "DBGridUnits");
    layout->addWidget(DBGridUnits, 1);
    group->setMinimumWidth(std::max(UnitGroupWidth * 2 / 3,
                                    group->fontMetrics().horizontalAdvance(group->title()) + 16));
    return group;
}

QWidget* TMainForm::CreateDescriptionPage() {
    TabSheet1 = Named(new QWidget(this), "TabSheet1");
    DBMemo1 = Named(new QPlainTextEdit(TabSheet1), "DBMemo1");
    DBMemo1->installEventFilter(this);
    auto* pictureBox = Named(new QScrollArea(TabSheet1), "ScrollBox2");
    pictureBox->setFixedWidth(180);
    pictureBox->setCursor(Qt::PointingHandCursor);
    QPalette white = pictureBox->viewport()->palette();
    white.setColor(QPalette::Window, Qt::white);
    pictureBox->viewport()->setPalette(white);
    pictureBox->viewport()->setAutoFillBackground(true);
    Image1 = Named(new QLabel(pictureBox), "Image1");
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureBox->setWidget(Image1);
    auto* layout = new QHBoxLayout(TabSheet1);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(DBMemo1, 1);
    layout->addWidget(pictureBox);
    return TabSheet1;
}

QWidget* TMainForm::CreateKeysPage() {
    TabSheet2 = Named(new QWidget(this), "TabSheet2");
    Splitter2 = Named(new QSplitter(Qt::Horizontal, TabSheet2), "Splitter2");

    auto* panel = Named(new QWidget(Splitter2), "PanelKeys");
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(2);
    panelLayout->addWidget(ToolBar("ToolBarKeys", panel,
                                   {Record0, nullptr, Search0, SearchNext0, nullptr, KeyAdd0, KeyUpdate0, KeyEdit0,
                                    KeyDel0}));
    auto* side = new QHBoxLayout;
    side->setSpacing(4);
    QGroupBox* keys = Group("GroupKeys", "Keys", panel);
    auto* keysLayout = new QVBoxLayout(keys);
    keysLayout->setContentsMargins(4, 4, 4, 4);
    keysLayout->setSpacing(2);
    SortKeysName = Named(new QRadioButton(QStringLiteral("Sort by name"), keys), "SortKeysName");
    SortKeysCode = Named(new QRadioButton(QStringLiteral("Sort by mode, adr, cmd code"), keys), "SortKeysCode");
    SortKeysName->setChecked(true);
    DBGridCodes = Named(new QTableView(keys), "DBGridCodes");
    keysLayout->addWidget(SortKeysName);
    keysLayout->addWidget(SortKeysCode);
    keysLayout->addWidget(DBGridCodes, 1);
    side->addWidget(keys, 1);
    side->addWidget(CreateOverrideColumn());
    panelLayout->addLayout(side, 1);

    Splitter2->addWidget(panel);
    Splitter2->addWidget(CreateResultPages());
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setChildrenCollapsible(false);

    auto* layout = new QHBoxLayout(TabSheet2);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(Splitter2);
    return TabSheet2;
}

QWidget* TMainForm::CreateOverrideColumn() {
    auto* column = Named(new QWidget(this), "PanelOverrides");
    // As narrow as its contents allow; the key list takes the rest.
    column->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto tight = [](QLayout* l) {
        l->setContentsMargins(4, 2, 4, 2);
        l->setSpacing(2);
    };

    QGroupBox* carrier = Group("GroupCarrier", "Carrier frequence", column);
    DBEditCarrier = Named(new QLineEdit(carrier), "DBEditCarrier");
    DBEditCarrier->setMaxLength(3);
    DBEditCarrier->setMaximumWidth(DBEditCarrier->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    auto* carrierLayout = new QHBoxLayout(carrier);
    tight(carrierLayout);
    carrierLayout->addWidget(DBEditCarrier);
    carrierLayout->addWidget(new QLabel(QStringLiteral("kHz"), carrier));
    carrierLayout->addStretch(1);
    layout->addWidget(carrier);

    QGroupBox* protocol = Group("GroupProtocol", "Protocol", column);
    ComboProtocol = Named(new QComboBox(protocol), "ComboProtocol");
    ComboProtocol->addItems(ProtocolItems());
    ComboProtocol->setCurrentIndex(-1);
    ComboProtocol->setMaxVisibleItems(20);
    LabelProtocol = Named(new QLabel(protocol), "LabelProtocol");
    // The kernel's reading, to be copied into a keymap.
    LabelLinux = Named(new QLabel(QStringLiteral("Linux:"), protocol), "LabelLinux");
    LabelLinux->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* protocolLayout = new QVBoxLayout(protocol);
    tight(protocolLayout);
    protocolLayout->addWidget(ComboProtocol);
    protocolLayout->addWidget(LabelProtocol);
    protocolLayout->addWidget(LabelLinux);
    layout->addWidget(protocol);

    QGroupBox* modulation = Group("GroupModulation", "Modulation", column);
    ComboModulation = Named(new QComboBox(modulation), "ComboModulation");
    ComboModulation->addItems(ModulationItems());
    LabelModulation = Named(new QLabel(modulation), "LabelModulation");
    auto* modulationLayout = new QVBoxLayout(modulation);
    tight(modulationLayout);
    modulationLayout->addWidget(ComboModulation);
    modulationLayout->addWidget(LabelModulation);
    layout->addWidget(modulation);

    QGroupBox* demodulation = Group("GroupDemodulation", "Demodulation", column);
    ListBox1 = Named(new QListWidget(demodulation), "ListBox1");
    ListBox2 = Named(new QListWidget(demodulation), "ListBox2");
    auto* demodulationLayout = new QGridLayout(demodulation);
    tight(demodulationLayout);
    demodulationLayout->addWidget(new QLabel(QStringLiteral("Pulses, us"), demodulation), 0, 0);
    demodulationLayout->addWidget(new QLabel(QStringLiteral("Dist., us"), demodulation), 0, 1);
    demodulationLayout->addWidget(ListBox1, 1, 0);
    demodulationLayout->addWidget(ListBox2, 1, 1);
    for (QListWidget* list : {ListBox1, ListBox2}) {
        list->setMinimumHeight(list->fontMetrics().height() * 3);
        list->setMinimumWidth(list->fontMetrics().horizontalAdvance(QStringLiteral("00000 [000]")) + 8);
        // As wide as the column, which its other groups decide.
        list->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    }
    layout->addWidget(demodulation, 1);

    auto decoding = [&](const char* name, const char* title, QSpinBox*& start, QSpinBox*& bits,
                        QCheckBox*& order, QCheckBox*& inverse, QLabel*& data, const char* startName,
                        const char* bitsName, const char* orderName, const char* inverseName, const char* dataName) {
        QGroupBox* group = Group(name, title, column);
        start = UpDown(startName, group);
        bits = UpDown(bitsName, group);
        order = Named(new QCheckBox(QStringLiteral("Low bit first"), group), orderName);
        inverse = Named(new QCheckBox(QStringLiteral("Short distance = 1"), group), inverseName);
        data = Named(new QLabel(QStringLiteral("Data:"), group), dataName);
        data->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* grid = new QGridLayout(group);
        tight(grid);
        grid->addWidget(new QLabel(QStringLiteral("Start:"), group), 0, 0);
        grid->addWidget(start, 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Bits:"), group), 0, 2);
        grid->addWidget(bits, 0, 3);
        grid->addWidget(order, 1, 0, 1, 4);
        grid->addWidget(inverse, 2, 0, 1, 4);
        grid->addWidget(data, 3, 0, 1, 4);
        layout->addWidget(group);
    };
    decoding("GroupAdr", "Decoding address", udAdrStart, udAdrBits, chAdrOrder, chAdrInverse, lbAdrData,
             "udAdrStart", "udAdrBits", "chAdrOrder", "chAdrInverse", "lbAdrData");
    decoding("GroupCmd", "Decoding command", udCmdStart, udCmdBits, chCmdOrder, chCmdInverse, lbCmdData,
             "udCmdStart", "udCmdBits", "chCmdOrder", "chCmdInverse", "lbCmdData");
    return column;
}

QWidget* TMainForm::CreateResultPages() {
    PageControl2 = Named(new QTabWidget(this), "PageControl2");

    ScrollBox1 = Named(new QScrollArea(PageControl2), "ScrollBox1");
    QPalette white = ScrollBox1->viewport()->palette();
    white.setColor(QPalette::Window, Qt::white);
    ScrollBox1->viewport()->setPalette(white);
    ScrollBox1->viewport()->setAutoFillBackground(true);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PaintBox1 = new OscillogramBox(ScrollBox1);
    ScrollBox1->setWidget(PaintBox1);
    PageControl2->addTab(ScrollBox1, QStringLiteral("OSC"));

    auto* transmit = Named(new QWidget(PageControl2), "TabSheetTransmit");
    auto* layout = new QVBoxLayout(transmit);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(ToolBar("ToolBarTransmit", transmit, {Transmit0, nullptr, TransAdd0, TransDel0}));
    DBGridTrans = Named(new QTableView(transmit), "DBGridTrans");
    layout->addWidget(DBGridTrans, 1);
    PageControl2->addTab(transmit, QStringLiteral("Transmit"));
    return PageControl2;
}

void TMainForm::BindGrids() {
    CodeDatabase& db = controller_.Db();
    auto guard = [this](const std::function<void()>& fn) { Handle(fn); };
    auto report = [this](const QString& text) {
        ShowMessage(UserMessage{QString::fromLatin1(ApplicationTitle), text, {}, false});
    };
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    unitsGrid_ = std::make_unique<GridBinding>(DBGridUnits, db.ADOTableUnits,
                                               std::vector<TableViewModel::Column>{{"Name", "Name", true}}, guard,
                                               report);
    StyleGrid(DBGridUnits, {});
    DBGridUnits->horizontalHeader()->hide();
    codesGrid_ = std::make_unique<GridBinding>(
        DBGridCodes, db.ADOTableCodes,
        std::vector<TableViewModel::Column>{{"Name", "Name", true},
                                            {"strAdr", "Adr", false, right},
                                            {"strCmd", "Cmd", false, right}},
        guard, report);
    StyleGrid(DBGridCodes, {10, 6, 4});
    transGrid_ = std::make_unique<GridBinding>(
        DBGridTrans, db.ADOTableTrans,
        std::vector<TableViewModel::Column>{{"UnitName", "Unit", false},
                                            {"KeyName", "Key", false},
                                            {"Repeat", "Repeat", true, right},
                                            {"Pause", "Pause (ms)", true, right}},
        guard, report);
    StyleGrid(DBGridTrans, {14, 14, 6, 9});

    unitsListener_ = db.ADOTableUnits.AddListener([this](TableView::Change change, int) {
        if (change != TableView::Change::AboutToReset) ShowUnitFields();
    });
}

void TMainForm::Wire() {
    MainController& c = controller_;
    connect(&c, &MainController::controlsChanged, this, &TMainForm::SyncControls);
    connect(&c, &MainController::actionsChanged, this, &TMainForm::SyncActions);
    connect(&c, &MainController::displayChanged, this, &TMainForm::SyncDisplay);
    connect(&c, &MainController::statusChanged, this, &TMainForm::SyncStatus);
    connect(&c, &MainController::message, this, &TMainForm::ShowMessage);

    auto on = [this](QAction* action, auto fn) {
        connect(action, &QAction::triggered, this, [this, fn](bool checked) { Handle([&] { fn(checked); }); });
    };
    on(Record0, [this](bool checked) { controller_.UserRecord(checked); });
    on(Search0, [this](bool checked) { controller_.UserSearch(checked); });
    on(SearchNext0, [this](bool) { controller_.SearchNext0Execute(true); });
    on(SearchAll0, [this](bool checked) { controller_.UserSearchAll(checked); });
    on(Redraw0, [this](bool) { controller_.Redraw0Execute(); });
    on(Setup0, [this](bool) { Setup0Execute(); });
    on(DataBase0, [this](bool) { DataBase0Execute(); });
    on(OpenRecording0, [this](bool) { OpenRecording0Execute(); });
    on(Import0, [this](bool) { Import0Execute(); });
    on(Export0, [this](bool) { Export0Execute(); });
    on(About1, [this](bool) { About1Click(); });
    on(Exit1, [this](bool) { Exit1Click(); });
    // The unit and key commands follow with their actions' handlers;
    // until then they do nothing.

    // The transmit list, and the beep of a key found.
    on(TransAdd0, [this](bool) { controller_.TransAdd0Execute(); });
    on(TransDel0, [this](bool) { TransDel0Execute(); });
    on(Transmit0, [this](bool) { controller_.Transmit0Execute(); });
    connect(&c, &MainController::beep, this, [] { QApplication::beep(); });
    // The grid deletes its current entry on Ctrl+Del, after asking.
    auto* gridDelete = new QAction(DBGridTrans);
    gridDelete->setObjectName(QStringLiteral("DBGridTransDelete"));
    gridDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    gridDelete->setShortcutContext(Qt::WidgetShortcut);
    DBGridTrans->addAction(gridDelete);
    connect(gridDelete, &QAction::triggered, this, [this] {
        Handle([&] {
            if (controller_.Db().ADOTableTrans.HasCurrent() && dialogs_.Confirm(this, QStringLiteral("Delete record?")))
                controller_.TransDel0Execute();
        });
    });

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (PageControl1->widget(index) == TabSheet1) controller_.TabSheet1Show();
    });
    connect(SortKeysCode, &QRadioButton::toggled, this,
            [this](bool byCode) { Handle([&] { controller_.SortKeysNameClick(byCode); }); });

    connect(ComboProtocol, &QComboBox::currentIndexChanged, this,
            [this](int item) { Handle([&] { controller_.UserProtocol(item); }); });
    connect(ComboModulation, &QComboBox::currentIndexChanged, this,
            [this](int item) { Handle([&] { controller_.UserModulation(item); }); });
    auto spin = [this](QSpinBox* box, void (MainController::*set)(int)) {
        connect(box, &QSpinBox::valueChanged, this, [this, set](int v) { Handle([&] { (controller_.*set)(v); }); });
    };
    spin(udAdrStart, &MainController::SetAdrStart);
    spin(udAdrBits, &MainController::SetAdrBits);
    spin(udCmdStart, &MainController::SetCmdStart);
    spin(udCmdBits, &MainController::SetCmdBits);
    auto check = [this](QCheckBox* box, void (MainController::*set)(bool)) {
        connect(box, &QCheckBox::toggled, this, [this, set](bool v) { Handle([&] { (controller_.*set)(v); }); });
    };
    check(chAdrOrder, &MainController::SetAdrOrder);
    check(chAdrInverse, &MainController::SetAdrInverse);
    check(chCmdOrder, &MainController::SetCmdOrder);
    check(chCmdInverse, &MainController::SetCmdInverse);

    connect(DBMemo1, &QPlainTextEdit::textChanged, this,
            [this] { Handle([&] { controller_.SetUnitText("Desc", DBMemo1->toPlainText()); }); });
    connect(DBEditCarrier, &QLineEdit::textEdited, this,
            [this](const QString& text) { Handle([&] { controller_.SetUnitText("Carrier", text); }); });
    connect(DBEditCarrier, &QLineEdit::editingFinished, this, [this] { Handle([&] { controller_.PostUnit(); }); });
}

void TMainForm::Handle(const std::function<void()>& fn) { controller_.Guarded(fn); }

QAction* TMainForm::Action(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

// ---- mirroring the controller ----------------------------------------------------------

void TMainForm::SyncControls() {
    const OverrideControls& c = controller_.Controls();
    const QSignalBlocker b1(ComboProtocol), b2(ComboModulation), b3(udAdrStart), b4(udAdrBits), b5(udCmdStart),
        b6(udCmdBits), b7(chAdrOrder), b8(chAdrInverse), b9(chCmdOrder), b10(chCmdInverse);
    ComboProtocol->setCurrentIndex(c.protocol);
    ComboModulation->setCurrentIndex(c.modulation);
    udAdrStart->setValue(c.adrStart);
    udAdrBits->setValue(c.adrBits);
    udCmdStart->setValue(c.cmdStart);
    udCmdBits->setValue(c.cmdBits);
    chAdrOrder->setChecked(c.adrOrder);
    chAdrInverse->setChecked(c.adrInverse);
    chCmdOrder->setChecked(c.cmdOrder);
    chCmdInverse->setChecked(c.cmdInverse);
    for (QWidget* w : std::initializer_list<QWidget*>{ComboModulation, udAdrStart, udAdrBits, udCmdStart, udCmdBits,
                                                      chAdrOrder, chAdrInverse, chCmdOrder, chCmdInverse})
        w->setEnabled(c.layoutEnabled);
}

void TMainForm::SyncActions() {
    const ActionStates& a = controller_.Actions();
    Record0->setChecked(a.record);
    Search0->setChecked(a.search);
    Search0->setEnabled(a.searchEnabled);
    SearchNext0->setEnabled(a.searchNextEnabled);
    SearchAll0->setChecked(a.searchAll);
    KeyAdd0->setEnabled(a.keyAdd);
    KeyUpdate0->setEnabled(a.keyUpdate);
    KeyEdit0->setEnabled(a.keyEdit);
    KeyDel0->setEnabled(a.keyDel);
    // While the list is being sent, Transmit0 is the way to stop it.
    const bool stop = a.transmitting;
    if (Transmit0->property("stops").toBool() != stop) {
        Transmit0->setProperty("stops", stop);
        Transmit0->setText(stop ? QStringLiteral("Stop") : QStringLiteral("Transmit"));
        const QString hint = stop ? QStringLiteral("Stop transmitting") : QStringLiteral("Transmit list!");
        Transmit0->setToolTip(hint);
        Transmit0->setStatusTip(hint);
        Transmit0->setIcon(stop ? ThemedIcon("process-stop", "stop") : ThemedIcon("mail-send", "transmit"));
    }
}

void TMainForm::SyncDisplay() {
    const ResultTexts& r = controller_.Results();
    SetItems(ListBox1, r.pulses);
    SetItems(ListBox2, r.distances);
    SetText(LabelModulation, r.modulation);
    SetText(LabelProtocol, r.protocol);
    SetText(LabelLinux, r.rcReading);
    SetText(lbAdrData, r.adrData);
    SetText(lbCmdData, r.cmdData);
    PaintBox1->ShowBuffer(controller_.Snapshot());
}

void TMainForm::SyncStatus() { StatusText->setText(controller_.StatusText()); }

void TMainForm::ShowUnitFields() {
    const TableView& units = controller_.Db().ADOTableUnits;
    const bool has = units.IsOpen() && units.HasCurrent();
    const QString desc = has ? units.Text("Desc") : QString();
    const QString carrier = has ? units.Text("Carrier") : QString();
    const QSignalBlocker b1(DBMemo1), b2(DBEditCarrier);
    if (DBMemo1->toPlainText() != desc) DBMemo1->setPlainText(desc);
    if (DBEditCarrier->text() != carrier) DBEditCarrier->setText(carrier);
    DBMemo1->setReadOnly(!has);
    DBEditCarrier->setReadOnly(!has);
}

void TMainForm::ShowMessage(const UserMessage& message) {
    dialogs_.ShowMessage(message.ownerless ? nullptr : this, message);
}

// ---- the window's own commands ---------------------------------------------------------

void TMainForm::Setup0Execute() {
    if (setup_ != nullptr) setup_->exec();
}

void TMainForm::DataBase0Execute() {
    controller_.DataBase0Execute([this](const QString& current) { return dialogs_.ChooseDataSource(this, current); });
}

void TMainForm::OpenRecording0Execute() {
    const QString path = dialogs_.ChooseRecording(this);
    if (!path.isEmpty()) controller_.OpenRecording(path.toStdString());
}

void TMainForm::Import0Execute() {
    // The wait cursor from the chosen file until the report is shown.
    bool waiting = false;
    auto stopWaiting = [&] {
        if (waiting) QGuiApplication::restoreOverrideCursor();
        waiting = false;
    };
    try {
        controller_.Import0Execute(
            [&] {
                const QString path = dialogs_.ChooseImportFile(this);
                if (!path.isEmpty()) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                waiting = !path.isEmpty();
                return path;
            },
            [&](const UserMessage& report, bool stored) {
                stopWaiting();
                if (stored)
                    dialogs_.ShowReport(this, report);
                else
                    dialogs_.ShowMessage(this, report);
            });
    } catch (...) {
        stopWaiting();
        throw;
    }
}

void TMainForm::Export0Execute() {
    controller_.Export0Execute([this](const QString& unit) { return dialogs_.ChooseExportFile(this, unit); },
                               [this](const UserMessage& report) { dialogs_.ShowReport(this, report); });
}

void TMainForm::TransDel0Execute() {
    PageControl1->setCurrentWidget(TabSheet2);
    PageControl2->setCurrentWidget(PageControl2->findChild<QWidget*>(QStringLiteral("TabSheetTransmit")));
    controller_.TransDel0Execute();
}

void TMainForm::About1Click() { dialogs_.About(this); }

void TMainForm::Exit1Click() { close(); }

// ---- events ------------------------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    if (defaultSplit_) {
        // The design's widths once the window has its size; the pages on
        // the right take the rest.
        QMetaObject::invokeMethod(
            this,
            [this] {
                const int units = std::max(UnitGroupWidth, Splitter1->widget(0)->minimumSizeHint().width());
                Splitter1->setSizes({units, Splitter1->width() - units});
                const int panel = std::max(KeyPanelWidth, Splitter2->widget(0)->minimumSizeHint().width());
                Splitter2->setSizes({panel, Splitter2->width() - panel});
            },
            Qt::QueuedConnection);
    }
    // The database opens once the window is on the screen, so that its
    // messages appear over it.
    QMetaObject::invokeMethod(
        this, [this] { Handle([&] { controller_.FormShow(); }); }, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    Handle([&] { controller_.PostUnit(); });
    SavePlacement();
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // The description is saved when the user leaves its box.
    if (watched == DBMemo1 && event->type() == QEvent::FocusOut) Handle([&] { controller_.PostUnit(); });
    // A click on the picture or the box around it loads a picture.
    if ((watched == Image1 || watched == Image1->parentWidget()) && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image1Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::RestorePlacement() {
    QSettings settings(QStringLiteral("Quorvat"), QStringLiteral("Tovanel"));
    settings.beginGroup(QStringLiteral("MainForm"));
    const bool placed = restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("State")).toByteArray());
    defaultSplit_ = !Splitter1->restoreState(settings.value(QStringLiteral("Splitter1")).toByteArray()) ||
                    !Splitter2->restoreState(settings.value(QStringLiteral("Splitter2")).toByteArray());
    settings.endGroup();
    if (placed) return;
    // The design's size, widened where the desktop's font needs more room
    // so that the oscillogram page shows more than its text column.
    QSize size = InitialSize.expandedTo(minimumSizeHint() + QSize(OscillogramRoom, 0));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        size = size.boundedTo(available.size()).expandedTo(MinimumSize);
        QRect frame(QPoint(), size);
        frame.moveCenter(available.center());
        move(frame.topLeft());
    }
    resize(size);
}

void TMainForm::SavePlacement() const {
    QSettings settings(QStringLiteral("Quorvat"), QStringLiteral("Tovanel"));
    settings.beginGroup(QStringLiteral("MainForm"));
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("State"), saveState());
    settings.setValue(QStringLiteral("Splitter1"), Splitter1->saveState());
    settings.setValue(QStringLiteral("Splitter2"), Splitter2->saveState());
    settings.endGroup();
}

// ---- units and keys ------------------------------------------------------------------------

void TMainForm::WireUnitsAndKeys() {
    auto on = [this](QAction* action, auto fn) {
        connect(action, &QAction::triggered, this, [this, fn](bool) { Handle([&] { fn(); }); });
    };
    auto ask = [this](const QString& caption, const QString& initial) {
        return dialogs_.AskName(this, caption, initial);
    };
    on(UnitAdd0, [this, ask] { controller_.UnitAdd0Execute(ask); });
    on(UnitEdit0, [this] { UnitEdit0Execute(); });
    on(UnitDup0, [this] { controller_.UnitDup0Execute(); });
    on(UnitDel0, [this] { UnitDel0Execute(); });
    on(KeyAdd0, [this, ask] { controller_.KeyAdd0Execute(ask); });
    on(KeyUpdate0, [this] {
        controller_.KeyUpdate0Execute([this](const QString& text) { return dialogs_.Confirm(this, text); });
    });
    on(KeyEdit0, [this] { KeyEdit0Execute(); });
    on(KeyDel0, [this] { KeyDel0Execute(); });
    // The key grid's own delete command asks the same question.
    auto* deleteKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), DBGridCodes);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] {
        if (KeyDel0->isEnabled()) Handle([&] { KeyDel0Execute(); });
    });

    connect(&controller_, &MainController::pictureChanged, this, &TMainForm::SyncPicture);
    Image1->installEventFilter(this);
    Image1->parentWidget()->installEventFilter(this);  // the scroll box's viewport
    Image1->setCursor(Qt::PointingHandCursor);
    // An empty box says what a click on it does.
    Image1->parentWidget()->setToolTip(QStringLiteral("Click to load a picture (JPEG or GIF)"));
    QPalette grey = Image1->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    Image1->setPalette(grey);
    Image1->setMargin(4);
    SyncPicture();
}

void TMainForm::SyncPicture() {
    const QImage& picture = controller_.Picture();
    if (picture.isNull())
        Image1->setText(QStringLiteral("Click here to load a picture"));
    else
        Image1->setPixmap(QPixmap::fromImage(picture));
    // The picture takes its natural size.
    Image1->adjustSize();
}

void TMainForm::UnitEdit0Execute() {
    const QModelIndex current = DBGridUnits->currentIndex();
    if (!current.isValid()) return;
    DBGridUnits->setFocus();
    DBGridUnits->edit(current.siblingAtColumn(0));
}

void TMainForm::UnitDel0Execute() {
    PageControl1->setCurrentWidget(TabSheet1);
    controller_.UnitDel0Execute([this](const QString& text) { return dialogs_.Confirm(this, text); });
}

void TMainForm::KeyEdit0Execute() {
    PageControl1->setCurrentWidget(TabSheet2);
    const QModelIndex current = DBGridCodes->currentIndex();
    if (!current.isValid()) return;
    DBGridCodes->setFocus();
    DBGridCodes->edit(current.siblingAtColumn(0));
}

void TMainForm::KeyDel0Execute() {
    PageControl1->setCurrentWidget(TabSheet2);
    controller_.KeyDel0Execute([this](const QString& text) { return dialogs_.Confirm(this, text); });
}

void TMainForm::Image1Click() {
    Handle([&] { controller_.Image1Click([this] { return dialogs_.ChoosePicture(this); }); });
}

}  // namespace tovanel
