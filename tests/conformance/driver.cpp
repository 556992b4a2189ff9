// Our side of the conformance check: runs a script of profile operations (see
// ScriptFormat.h) through ProfileFile and prints the results as the reference does.
//   conformance_driver <script>
#include "ScriptFormat.h"

#include "profile/ProfileFile.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using profile::ProfileFile;

namespace {

QByteArrayView view(const std::string& text) {
    return QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "-";
    const QByteArray data = file.readAll();
    return conformance::escape(data.constData(), static_cast<size_t>(data.size()));
}

} // namespace

int main(int argc, char** argv) {
    std::FILE* script = conformance::openScript(argc, argv);
    if (script == nullptr)
        return 2;
    QString file;
    conformance::Operation op;
    for (int number = 0; conformance::nextOperation(script, op); ++number) {
        const auto& f = op.fields;
        if (op.code == 'F' && f.size() == 1) {
            file = QFile::decodeName(QByteArray::fromStdString(f[0]));
            continue;
        }
        std::string line = std::to_string(number) + ' ' + op.code + ' ';
        if (op.code == 'S' && f.size() == 4) {
            std::vector<char> buffer(static_cast<size_t>(std::atoi(f[3].c_str())),
                                     conformance::Untouched);
            const int result =
                ProfileFile::readString(file, view(f[0]), view(f[1]), view(f[2]), buffer.data(),
                                        static_cast<int>(buffer.size()));
            line += "ret=" + std::to_string(result) + " buf=" +
                    conformance::escape(buffer.data(), conformance::stringBytes(buffer, result));
        } else if (op.code == 'L' && f.size() == 2) {
            std::vector<char> buffer(static_cast<size_t>(std::atoi(f[1].c_str())),
                                     conformance::Untouched);
            const int result = ProfileFile::readSection(file, view(f[0]), buffer.data(),
                                                        static_cast<int>(buffer.size()));
            line += "ret=" + std::to_string(result) + " buf=" +
                    conformance::escape(buffer.data(), conformance::listBytes(buffer, result));
        } else if (op.code == 'W' && f.size() == 3) {
            const int result = ProfileFile::writeString(file, view(f[0]), view(f[1]), view(f[2]));
            line += "ret=" + std::to_string(result) + " buf= file=" + fileBytes(file);
        } else if (op.code == 'D' && f.size() == 2) {
            const int result = ProfileFile::deleteKey(file, view(f[0]), view(f[1]));
            line += "ret=" + std::to_string(result) + " buf= file=" + fileBytes(file);
        } else {
            line += "bad-operation";
        }
        std::printf("%s\n", line.c_str());
    }
    std::fclose(script);
    return 0;
}
