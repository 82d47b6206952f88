#pragma once

// Owners of libcurl's handles, so that every return path frees them.

#include <QByteArray>
#include <curl/curl.h>
#include <memory>

namespace bsmtp::detail {

struct EasyCleanup
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistFree
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct MimeFree
{
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;
using Mime = std::unique_ptr<curl_mime, MimeFree>;

// A string list that libcurl reads during the transfer; it copies each item.
class Slist
{
public:
    void append(const QByteArray& item)
    {
        curl_slist* grown = curl_slist_append(m_list.get(), item.constData());
        if (grown) {
            (void)m_list.release();
            m_list.reset(grown);
        }
    }
    curl_slist* get() const { return m_list.get(); }

private:
    std::unique_ptr<curl_slist, SlistFree> m_list;
};

inline Easy newEasy()
{
    // libcurl's global set-up is not thread-safe; doing it once, here, before
    // the first handle keeps it off any later path.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK)
        return {};
    return Easy(curl_easy_init());
}

} // namespace bsmtp::detail
