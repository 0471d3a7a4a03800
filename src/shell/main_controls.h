#pragma once
// Every control of the main window, by the name operators' documentation and
// the code use for it. Control arrays keep their indexes.

#include <array>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;
class Lamp;

struct MainControls {
    // Port strip (top right)
    QLabel* Label_Com = nullptr;
    QLabel* Label4 = nullptr;
    Lamp* Label3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Com_Com_Set = nullptr;

    // History area (bottom)
    QLabel* Label2 = nullptr;
    QListView* List1 = nullptr;
    QListView* List2 = nullptr;
    QPushButton* Com_ClrHis = nullptr;
    QPushButton* Command_Save_His = nullptr;

    // Drive setup (left)
    QFrame* Shape2 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    std::array<QLineEdit*, 6> x_z{};
    std::array<QLineEdit*, 6> y_c{};
    QLabel* Label11 = nullptr;
    QLineEdit* num_coord = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* v_end = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QRadioButton*, 2> Option1{};
    QButtonGroup* Option1Group = nullptr;
    QLabel* Label36 = nullptr;
    std::array<QCheckBox*, 8> Check1{};
    QPushButton* com_move_xy = nullptr;
    QPushButton* com_move_zc = nullptr;

    // Reference run grid (centre)
    QFrame* Picture1 = nullptr;
    QLabel* Label35 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label21 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label34 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label32 = nullptr;
    QLabel* Label33 = nullptr;
    std::array<QWidget*, 4> Frame2{};
    std::array<QButtonGroup*, 4> Frame2Group{};
    std::array<QRadioButton*, 4> Option2{};
    std::array<QRadioButton*, 4> Option3{};
    std::array<QRadioButton*, 4> Option4{};
    std::array<QRadioButton*, 4> Option5{};
    QPushButton* Command3 = nullptr;

    // Command frames
    QGroupBox* Moduswechsel = nullptr;
    QRadioButton* to_mode_1 = nullptr;
    QRadioButton* to_mode_2 = nullptr;
    QPushButton* Modechange = nullptr;
    QGroupBox* Frame3 = nullptr;
    QCheckBox* spindel_check = nullptr;
    QCheckBox* cool_check = nullptr;
    QPushButton* Zusatzsignale_schalten = nullptr;
    QGroupBox* Frame4 = nullptr;
    QLineEdit* Null_x = nullptr;
    QLineEdit* Null_y = nullptr;
    QLineEdit* Null_z = nullptr;
    QLineEdit* Null_c = nullptr;
    QLabel* Label37 = nullptr;
    QLabel* Label38 = nullptr;
    QLabel* Label39 = nullptr;
    QLabel* Label40 = nullptr;
    QRadioButton* null_step_option = nullptr;
    QRadioButton* Null_mm_option = nullptr;
    QPushButton* Nullpunkt_setzen = nullptr;

    // Machine status panel (upper middle)
    QFrame* Shape1 = nullptr;
    std::array<QFrame*, 4> Line{}; // Line1 to Line4
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label29 = nullptr;
    QLabel* Label_posx = nullptr;
    QLabel* Label_posy = nullptr;
    QLabel* Label_posz = nullptr;
    QLabel* Label_posc = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label_errcode = nullptr;
    QLabel* Label31 = nullptr;
    QLabel* Label_framectr = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label_mode = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label27 = nullptr;
    QLabel* Label28 = nullptr;
    QLabel* Label13 = nullptr;
    Lamp* Label_emergency = nullptr;
    Lamp* Label_endx = nullptr;
    Lamp* Label_endy = nullptr;
    Lamp* Label_endz = nullptr;
    Lamp* Label_endc = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* Label20 = nullptr;
    Lamp* Label_boost = nullptr;
    Lamp* Label_sleep = nullptr;
    Lamp* Label_cool = nullptr;
    Lamp* Label_spindel = nullptr;
    QLabel* label_füllstand = nullptr;
    QProgressBar* Pufferfüllstand = nullptr;
    QLabel* label_bufferfill_prozent = nullptr;
    QPushButton* Com_Refresh = nullptr;
    QCheckBox* check_autorefresh = nullptr;
};

// Creates every control on `form` at its design-time place, caption, state and
// Tag, area by area (which is also the tab order).
void BuildMainControls(QWidget* form, MainControls& ui);
