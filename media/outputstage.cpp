#include "media/outputstage.h"

#include <QByteArray>

namespace vandrex {

TRmOutput::TRmOutput(std::string target, bool isUrl, av::RmClipInfo clip, av::FileInfoList urlOptions)
    : target_(target), writer_(target, isUrl, std::move(clip), urlOptions) {}

TServerTarget MakeServerTarget(const std::string& name, int port, const std::string& file, const std::string& user,
                               const std::string& password, int transport) {
    TServerTarget t;
    if (transport == 0) {
        t.Url = "udp://" + name + ":" + std::to_string(port) + "?pkt_size=1316";
        return t;
    }
    std::string path = file;
    if (path.empty() || path[0] != '/') path = "/" + path;
    t.Url = "http://" + name + ":" + std::to_string(port) + path;
    t.Options = {{"method", "POST"}, {"chunked_post", "1"}, {"content_type", "application/vnd.rn-realmedia"}};
    if (!user.empty()) {
        const QByteArray token = QByteArray::fromStdString(user + ":" + password).toBase64();
        t.Options.push_back({"headers", "Authorization: Basic " + token.toStdString() + "\r\n"});
    }
    return t;
}

}  // namespace vandrex
