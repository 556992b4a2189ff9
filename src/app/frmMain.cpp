#include "app/frmMain.h"

#include "app/GenerationRun.h"
#include "app/NumberInput.h"
#include "app/SuffixList.h"
#include "common/ModCommon.h"
#include "common/ModCommonUi.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include "platform/Desktop.h"
#include "ui/DialogSupport.h"
#include "ui/Skin.h"
#include "ui_frmMain.h"
#include "update/frmUpdate.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>

#include <limits>

frmMain::frmMain(QWidget* parent) : QWidget(parent), ui(new Ui::frmMain), skin_(new Skin(this)) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    setWindowIcon(Skin::programIcon());

    // The suffix box holds exactly what the user typed or picked: no completion from
    // the list, and its list changes only through Add, Delete and the window's load.
    ui->cbSuffix->setCompleter(nullptr);
    ui->cbSuffix->setInsertPolicy(QComboBox::NoInsert);
    // The three text boxes are single-line boxes: a pasted or dropped line break ends
    // the text that comes in. They have no length limit: Qt's default one (32,767 UTF-16
    // units) would cut a longer suffix, even inside a character.
    for (QLineEdit* edit : {ui->tbFromNo, ui->tbToNo, ui->cbSuffix->lineEdit()}) {
        dialogs::MakeSingleLine(edit);
        edit->setMaxLength(std::numeric_limits<int>::max());
    }

    ui->lvRecord->setModel(&records_);
    ui->tbFromNo->installEventFilter(this);
    ui->tbToNo->installEventFilter(this);

    connect(ui->btnBuild, &QPushButton::clicked, this, &frmMain::btnBuild_Click);
    connect(ui->btnCancel, &QPushButton::clicked, this, &frmMain::btnCancel_Click);
    connect(ui->btnExit, &QPushButton::clicked, this, &frmMain::btnExit_Click);
    connect(ui->btnAdd, &QPushButton::clicked, this, &frmMain::btnAdd_Click);
    connect(ui->btnDel, &QPushButton::clicked, this, &frmMain::btnDel_Click);
    connect(ui->btnContact, &QPushButton::clicked, this, &frmMain::btnContact_Click);
    connect(ui->btnHelp, &QPushButton::clicked, this, &frmMain::btnHelp_Click);
    connect(ui->btnUpdate, &QPushButton::clicked, this, &frmMain::btnUpdate_Click);

    Form_Load();

    // First shown centred on the screen, frame included.
    dialogs::CentreOnFirstShow(this);
}

frmMain::~frmMain() {
    delete ui;
}

void frmMain::Form_Load() {
    ModTransLate::ApplyMainCaptions(this);
    skin_->skinWindow(this);
    InitRecordColumns();
    SuffixList::LoadSuffixList(ui->cbSuffix);
}

void frmMain::InitRecordColumns() {
    RecordView* list = ui->lvRecord;
    list->clearColumns();
    const float width = list->widthUnits();
    for (int i = 0; i < RecordModel::Columns; ++i) {
        const float columnWidth =
            i < RecordModel::Columns - 1 ? width / 4.0f : width / 4.0f - 40.0f;
        list->addColumn(QString(), QString(), columnWidth);
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // tbFromNo_KeyPress / tbToNo_KeyPress: every typed character goes through the
    // number filter; a result of 0 discards the keystroke.
    if ((watched == ui->tbFromNo || watched == ui->tbToNo) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (dialogs::IsTypedCharacter(key)) {
            for (const QChar c : key->text()) {
                if (ModCommon::FilterNumberKey(c.unicode()) == 0)
                    return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    if (!dialogs::HandleDialogKey(this, event))
        QWidget::keyPressEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // A run is active: it ends at its next event point, keeps its file as written
        // and shows nothing more; the window then closes.
        closeRequested_ = true;
        StopRequested = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

namespace {
void warn(const QString& text) {
    platform::MessageBox::show(text, platform::MessageIcon::Exclamation);
}

// The warning of a run whose file failed: the file holds the `listed` addresses of the
// list, and why it holds no more.
QString fileFailedText(const platform::FileStatus& file, std::int64_t listed) {
    const auto& text = ModTransLate::Text().frmMain;
    // In the order of platform::FileProblem.
    const QString* reasons[] = {&text.RunFileDiskFull, &text.RunFileTooLarge,
                                &text.RunFileNoPermission, &text.RunFileChanged,
                                &text.RunFileNotWritten};
    return text.RunFileIncomplete.arg(QString::number(listed),
                                      *reasons[int(platform::problemOf(file))]);
}
} // namespace

frmMain::InputCheck frmMain::CheckNumberInput(std::int32_t& from, std::int32_t& to) {
    const auto& text = ModTransLate::Text().frmMain;
    const NumberText f = ParseNumberText(ui->tbFromNo->text());
    const NumberText t = ParseNumberText(ui->tbToNo->text());
    if (f.kind == NumberText::Kind::Empty || t.kind == NumberText::Kind::Empty) {
        warn(text.PlsFillNo);
        (f.kind == NumberText::Kind::Empty ? ui->tbFromNo : ui->tbToNo)->setFocus();
        return InputCheck::Rejected;
    }
    if (f.kind == NumberText::Kind::NotNumber) {
        warn(text.WrongNoFormat);
        ui->tbFromNo->setFocus();
        return InputCheck::Rejected;
    }
    if (t.kind == NumberText::Kind::NotNumber) {
        warn(text.WrongNoFormat);
        ui->tbToNo->setFocus();
        return InputCheck::Rejected;
    }
    if (!f.fitsInt32 || !t.fitsInt32)
        return InputCheck::OutOfRange;
    if (t.value < f.value) {
        warn(text.StartLargerEnd);
        return InputCheck::Rejected;
    }
    from = f.value;
    to = t.value;
    return InputCheck::Valid;
}

void frmMain::btnBuild_Click() {
    StopRequested = false;
    if (running_)
        return; // Start is disabled while a run is active
    lastOutcome_.reset();
    std::int32_t from = 0;
    std::int32_t to = 0;
    if (CheckNumberInput(from, to) != InputCheck::Valid) {
        ui->pb->setPosition64(0);
        return;
    }
    const auto& text = ModTransLate::Text().frmMain;
    QString path;
    // The program's own files are never replaced: the user is told and picks another name.
    while (GenerationRun::namesProgramFile(path = ModCommon::AskSaveFile()))
        warn(text.ProgramFileRefused);
    if (path.isEmpty())
        return;

    GenerationRun run(from, to, path, records_);
    ProgressBar* progress = ui->pb;
    progress->setMaximum64(run.total());
    progress->setPosition64(0);
    ui->btnBuild->setEnabled(false);
    running_ = true;

    lastOutcome_ = run.run(runHooks());
    switch (lastOutcome_->end) {
    case GenerationRun::End::Completed:
        platform::MessageBox::show(text.CreateNoSuccessfully, platform::MessageIcon::Information);
        break;
    case GenerationRun::End::Stopped:
        platform::MessageBox::show(text.CancelAndSave, platform::MessageIcon::Information);
        break;
    case GenerationRun::End::FileFailed:
        warn(fileFailedText(lastOutcome_->file, records_.count()));
        break;
    case GenerationRun::End::WindowClosed:
        break; // a closing window shows nothing more
    }

    running_ = false;
    ui->btnBuild->setEnabled(true);
    progress->setPosition64(0);
    if (closeRequested_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// How a run meets the window: its events at each event point, the suffix box's text,
// and the list and progress bar after each slice.
GenerationRun::Hooks frmMain::runHooks() {
    GenerationRun::Hooks hooks;
    hooks.eventPoint = [this] {
        platform::Events::process();
        if (closeRequested_)
            return GenerationRun::Next::Close;
        return StopRequested ? GenerationRun::Next::Stop : GenerationRun::Next::Continue;
    };
    hooks.suffix = [this] { return SuffixList::TypedSuffix(ui->cbSuffix).toUtf8(); };
    hooks.progressed = [this](std::int64_t done) {
        ui->lvRecord->modelChanged();
        ui->pb->setPosition64(done);
    };
    return hooks;
}

void frmMain::btnCancel_Click() {
    StopRequested = true;
}

void frmMain::btnExit_Click() {
    close();
}

void frmMain::btnAdd_Click() {
    SuffixList::btnAdd_Click(ui->cbSuffix);
}

void frmMain::btnDel_Click() {
    SuffixList::btnDel_Click(ui->cbSuffix);
}

void frmMain::btnContact_Click() {
    frmAbout window(this);
    window.exec();
}

void frmMain::btnHelp_Click() {
    frmHelp window;
    window.exec();
}

void frmMain::btnUpdate_Click() {
    frmUpdate window(this);
    window.exec();
}
