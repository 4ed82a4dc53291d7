// The main window: the unit list, the "Description" and "Keys" pages with
// the key list, the decoding overrides and the result panels, the
// oscillogram and the transmit list, the menus, tool bars and status bar.
// Components keep the names of the window's design as object names. The
// form builds and wires the widgets; what the handlers do is the
// controller's, and the form mirrors the controller's state.
#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>

#include "ui/Main/MainController.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTableView;

namespace tovanel {

class GridBinding;
class OscillogramBox;
class TSetupForm;
class UserDialogs;

class TMainForm : public QMainWindow {
public:
    TMainForm(MainController& controller, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TMainForm() override;

    MainController& Controller() { return controller_; }
    // The setup dialog, created after the window (it reads the settings).
    void SetSetupForm(TSetupForm* setup) { setup_ = setup; }

    // Runs a handler; an error that escapes it is shown in a message box.
    void Handle(const std::function<void()>& fn);

    // Handlers of the window's own commands.
    void Setup0Execute();
    void DataBase0Execute();
    void OpenRecording0Execute();
    void Import0Execute();
    void Export0Execute();
    // Brings the "Keys" and "Transmit" pages to the front, then deletes
    // the current entry of the transmit list.
    void TransDel0Execute();
    void About1Click();
    void Exit1Click();

    // Unit and key commands: the questions are asked here, the work is the
    // controller's.
    void UnitEdit0Execute();
    void UnitDel0Execute();
    void KeyEdit0Execute();
    void KeyDel0Execute();
    void Image1Click();

    QAction* Action(const char* name) const;

    // Window placement in QSettings("Quorvat", "Tovanel"), group "MainForm".
    void RestorePlacement();
    void SavePlacement() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    QWidget* CreateUnitGroup();
    QWidget* CreateDescriptionPage();
    QWidget* CreateKeysPage();
    QWidget* CreateOverrideColumn();
    QWidget* CreateResultPages();
    void BindGrids();
    void Wire();

    void SyncControls();
    void SyncActions();
    void SyncDisplay();
    void SyncStatus();
    void ShowUnitFields();
    void ShowMessage(const UserMessage& message);
    void WireUnitsAndKeys();
    void SyncPicture();

    MainController& controller_;
    UserDialogs& dialogs_;
    TSetupForm* setup_ = nullptr;
    bool shown_ = false;
    bool defaultSplit_ = true;  // no saved splitter positions

    // Actions by their names.
    QAction* UnitAdd0;
    QAction* UnitEdit0;
    QAction* UnitDup0;
    QAction* UnitDel0;
    QAction* Setup0;
    QAction* DataBase0;
    QAction* OpenRecording0;
    QAction* Import0;
    QAction* Export0;
    QAction* KeyAdd0;
    QAction* KeyUpdate0;
    QAction* KeyEdit0;
    QAction* KeyDel0;
    QAction* Record0;
    QAction* Redraw0;
    QAction* Search0;
    QAction* SearchNext0;
    QAction* SearchAll0;
    QAction* Transmit0;
    QAction* TransAdd0;
    QAction* TransDel0;
    QAction* Exit1;
    QAction* About1;

    QSplitter* Splitter1;
    QSplitter* Splitter2;
    QTableView* DBGridUnits;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "Description"
    QWidget* TabSheet2;  // "Keys"
    QPlainTextEdit* DBMemo1;
    QLabel* Image1;
    QRadioButton* SortKeysName;
    QRadioButton* SortKeysCode;
    QTableView* DBGridCodes;
    QLineEdit* DBEditCarrier;
    QComboBox* ComboProtocol;
    QLabel* LabelProtocol;
    QLabel* LabelLinux;  // the kernel's reading of slot 0
    QComboBox* ComboModulation;
    QLabel* LabelModulation;
    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QSpinBox* udAdrStart;
    QSpinBox* udAdrBits;
    QCheckBox* chAdrOrder;
    QCheckBox* chAdrInverse;
    QLabel* lbAdrData;
    QSpinBox* udCmdStart;
    QSpinBox* udCmdBits;
    QCheckBox* chCmdOrder;
    QCheckBox* chCmdInverse;
    QLabel* lbCmdData;
    QTabWidget* PageControl2;
    QScrollArea* ScrollBox1;
    OscillogramBox* PaintBox1;
    QTableView* DBGridTrans;
    QLabel* StatusText;

    std::unique_ptr<GridBinding> unitsGrid_;
    std::unique_ptr<GridBinding> codesGrid_;
    std::unique_ptr<GridBinding> transGrid_;
    int unitsListener_ = 0;
};

}  // namespace tovanel
