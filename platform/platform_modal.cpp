// platform_modal.cpp - every modal interaction in one place: alerts, file dialogs, the colour
// picker and the opening of web addresses. Each request is logged; a script installed by a test
// answers in place of a person. With VINTREL_SCRIPTED_MODALS set in the environment (unattended
// runs such as benchmarks), every request is answered with OK / cancel-free defaults and written
// to standard error instead of being shown.
#include "platform_internal.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <cstdio>

namespace {
ModalScript gScript;
std::vector<ModalRequest> gLog;

const char* kindName(ModalKind k) {
    switch (k) {
    case ModalKind::Alert: return "alert";
    case ModalKind::OpenFile: return "open-file";
    case ModalKind::SaveFile: return "save-file";
    case ModalKind::ChooseFolder: return "choose-folder";
    case ModalKind::Color: return "color";
    case ModalKind::OpenURL: return "open-url";
    }
    return "?";
}

QString Q(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
std::string S(const QString& s) { return s.toLocal8Bit().toStdString(); }

// The folder chooser: Qt's own dialog in folder mode, so that it can propose a name for a new
// folder in its name field (the platform's dialog has no such field). A name that does not exist
// yet becomes a new folder in the current one when the user accepts it.
class FolderDialog : public QFileDialog {
public:
    FolderDialog(const QString& title, const QString& directory, const QString& suggested)
        : QFileDialog(nullptr, title, directory) {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setOption(QFileDialog::ShowDirsOnly, true);
        setFileMode(QFileDialog::Directory);
        setAcceptMode(QFileDialog::AcceptOpen);
        if (!suggested.isEmpty()) selectFile(suggested);
        // Qt enables its Choose button only for folders that exist; a new name may be chosen too.
        if (auto* box = findChild<QDialogButtonBox*>()) choose_ = box->button(QDialogButtonBox::Open);
        if (choose_) {
            choose_->installEventFilter(this);
            if (NamesNewFolder()) choose_->setEnabled(true);
        }
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == choose_ && e->type() == QEvent::EnabledChange && !choose_->isEnabled() && NamesNewFolder())
            choose_->setEnabled(true);
        return QFileDialog::eventFilter(watched, e);
    }
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && !QFileInfo::exists(chosen[0]) && !QDir().mkdir(chosen[0])) {
            QMessageBox::warning(this, windowTitle(), QString("The folder \"%1\" could not be created").arg(chosen[0]));
            return;
        }
        QFileDialog::accept();
    }

private:
    // True when the name field names one folder that does not exist yet, in a folder that does.
    bool NamesNewFolder() const {
        const QStringList chosen = selectedFiles();
        if (chosen.size() != 1) return false;
        QFileInfo info(chosen[0]);
        return !info.exists() && QFileInfo(info.absolutePath()).isDir();
    }
    QPushButton* choose_ = nullptr;
};

ModalAnswer runReal(const ModalRequest& r) {
    ModalAnswer a;
    switch (r.kind) {
    case ModalKind::Alert: {
        QMessageBox box(QMessageBox::Critical, Q(r.title), Q(r.message));
        QPushButton* ok = box.addButton(r.okText.empty() ? QString("OK") : Q(r.okText), QMessageBox::AcceptRole);
        if (!r.cancelText.empty()) box.addButton(Q(r.cancelText), QMessageBox::RejectRole);
        box.setDefaultButton(ok);
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            box.adjustSize();
            box.move(s->geometry().center() - box.rect().center());
        }
        box.exec();
        a.accepted = box.clickedButton() == ok;
        break;
    }
    case ModalKind::OpenFile: {
        QString p = QFileDialog::getOpenFileName(nullptr, Q(r.title), Q(r.directory));
        a.accepted = !p.isEmpty();
        a.path = S(p);
        break;
    }
    case ModalKind::SaveFile: {
        QString start = Q(r.directory);
        if (!r.suggestedName.empty()) start = start.isEmpty() ? Q(r.suggestedName) : start + "/" + Q(r.suggestedName);
        QString p = QFileDialog::getSaveFileName(nullptr, Q(r.title), start);
        a.accepted = !p.isEmpty();
        a.path = S(p);
        break;
    }
    case ModalKind::ChooseFolder: {
        FolderDialog dialog(Q(r.title), Q(r.directory), Q(r.suggestedName));
        a.accepted = dialog.exec() == QDialog::Accepted && dialog.selectedFiles().size() == 1;
        if (a.accepted) a.path = S(dialog.selectedFiles()[0]);
        break;
    }
    case ModalKind::Color: {
        QColor initial = QColor::fromRgba64(r.rgb[0], r.rgb[1], r.rgb[2]);
        QColor c = QColorDialog::getColor(initial, nullptr, Q(r.title));
        a.accepted = c.isValid();
        if (a.accepted) {
            QRgba64 v = c.rgba64();
            a.rgb[0] = v.red();
            a.rgb[1] = v.green();
            a.rgb[2] = v.blue();
        }
        break;
    }
    case ModalKind::OpenURL:
        a.accepted = QDesktopServices::openUrl(QUrl::fromUserInput(Q(r.url)));
        break;
    }
    return a;
}

// With VINTREL_OPEN_URL_LOG naming a file, an address is appended to it instead of being opened.
bool logOpenedAddress(const std::string& url) {
    QByteArray file = qgetenv("VINTREL_OPEN_URL_LOG");
    if (file.isEmpty()) return false;
    if (FILE* f = fopen(file.constData(), "a")) {
        fprintf(f, "%s\n", url.c_str());
        fclose(f);
    }
    return true;
}
}  // namespace

ModalAnswer plat_RunModal(const ModalRequest& request) {
    gLog.push_back(request);
    if (gScript) return gScript(request);
    if (request.kind == ModalKind::OpenURL && logOpenedAddress(request.url)) return ModalAnswer();
    if (qEnvironmentVariableIsSet("VINTREL_SCRIPTED_MODALS")) {
        // Alerts with a title of their own (the update offer) show it before the message.
        std::string title = request.kind == ModalKind::Alert && request.title != kAppTitle ? request.title + " " : "";
        fprintf(stderr, "modal %s: %s%s%s\n", kindName(request.kind), title.c_str(), request.message.c_str(),
                request.url.c_str());
        ModalAnswer a;
        a.accepted = request.kind == ModalKind::Alert;
        return a;
    }
    return runReal(request);
}

void plat_SetModalScript(ModalScript script) { gScript = std::move(script); }
const std::vector<ModalRequest>& plat_ModalLog() { return gLog; }
void plat_ClearModalLog() { gLog.clear(); }

bool plat_MessageBox(bool withCancel, const char* text) {
    ModalRequest r;
    r.kind = ModalKind::Alert;
    r.title = kAppTitle;
    r.message = text ? text : "";
    r.okText = "OK";
    if (withCancel) r.cancelText = "Cancel";
    return plat_RunModal(r).accepted;
}

bool plat_OpenURL(const char* url) {
    ModalRequest r;
    r.kind = ModalKind::OpenURL;
    r.url = url ? url : "";
    return plat_RunModal(r).accepted;
}

bool plat_OpenFolder(const char* path) {
    ModalRequest r;
    r.kind = ModalKind::OpenURL;
    r.url = QUrl::fromLocalFile(QString::fromLocal8Bit(path ? path : "")).toString(QUrl::FullyEncoded).toStdString();
    return plat_RunModal(r).accepted;
}
