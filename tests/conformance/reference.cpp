// The reference side of the conformance check: runs a script of profile operations
// through the Windows functions (GetPrivateProfileStringA, GetPrivateProfileSectionA,
// WritePrivateProfileStringA) and prints the results in the format of ScriptFormat.h.
// Built with MinGW and run under Wine:  reference.exe <script>
#include "ScriptFormat.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A Unix path as Wine sees it: drive Z: is the root folder.
std::string windowsPath(const std::string& path) {
    std::string out = "Z:";
    for (char c : path)
        out += c == '/' ? '\\' : c;
    return out;
}

bool readAll(const std::string& path, std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    data.clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.append(chunk, n);
    std::fclose(f);
    return true;
}

std::string fileBytes(const std::string& path) {
    // The functions cache the file; writing nothing to no key flushes and drops it.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    std::string data;
    return readAll(path, data) ? conformance::escape(data) : "-";
}

// The file as the functions themselves lay it out: they rewrite the whole file on
// every change, so a section added (at the end) and cut off again gives every line of
// the file in their layout. Lets files of the same meaning be compared byte for byte.
std::string canonical(const std::string& path) {
    static const std::string marker = "[korvani-conformance-end]\r\nk=v\r\n";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return "-";
    WritePrivateProfileStringA("korvani-conformance-end", "k", "v", path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    std::string data;
    if (!readAll(path, data))
        return "-";
    if (data.size() < marker.size() ||
        data.compare(data.size() - marker.size(), marker.size(), marker) != 0)
        return "no-end-marker:" + conformance::escape(data);
    data.resize(data.size() - marker.size());
    return conformance::escape(data);
}

const char* orNull(const std::vector<std::string>& fields, size_t i) {
    return i < fields.size() ? fields[i].c_str() : nullptr;
}

} // namespace

int main(int argc, char** argv) {
    std::FILE* script = conformance::openScript(argc, argv);
    if (script == nullptr)
        return 2;
    std::string file;
    conformance::Operation op;
    for (int number = 0; conformance::nextOperation(script, op); ++number) {
        const auto& f = op.fields;
        if (op.code == 'F' && f.size() == 1) {
            file = windowsPath(f[0]);
            continue;
        }
        std::string line = std::to_string(number) + ' ' + op.code + ' ';
        if (op.code == 'S' && f.size() == 4) {
            std::vector<char> buffer(static_cast<size_t>(std::atoi(f[3].c_str())),
                                     conformance::Untouched);
            const int result = static_cast<int>(
                GetPrivateProfileStringA(f[0].c_str(), f[1].c_str(), f[2].c_str(), buffer.data(),
                                         static_cast<DWORD>(buffer.size()), file.c_str()));
            line += "ret=" + std::to_string(result) + " buf=" +
                    conformance::escape(buffer.data(), conformance::stringBytes(buffer, result));
        } else if (op.code == 'L' && f.size() == 2) {
            std::vector<char> buffer(static_cast<size_t>(std::atoi(f[1].c_str())),
                                     conformance::Untouched);
            const int result = static_cast<int>(GetPrivateProfileSectionA(
                f[0].c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str()));
            line += "ret=" + std::to_string(result) + " buf=" +
                    conformance::escape(buffer.data(), conformance::listBytes(buffer, result));
        } else if ((op.code == 'W' && f.size() == 3) || (op.code == 'D' && f.size() == 2)) {
            const BOOL result =
                WritePrivateProfileStringA(f[0].c_str(), f[1].c_str(), orNull(f, 2), file.c_str());
            line += "ret=" + std::to_string(result ? 1 : 0) + " buf= file=" + fileBytes(file);
        } else if (op.code == 'C' && f.size() == 1) {
            line += "ret=0 buf= file=" + canonical(windowsPath(f[0]));
        } else {
            line += "bad-operation";
        }
        std::printf("%s\n", line.c_str());
    }
    std::fclose(script);
    return 0;
}
