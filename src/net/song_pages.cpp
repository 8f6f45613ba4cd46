#include "net/song_pages.h"

#include <iterator>

namespace tunecase {

namespace {

const char* const kStyle =
    "body{font-family:system-ui,sans-serif;margin:0 auto;padding:1em;max-width:40em;line-height:1.5;"
    "color:#222;background:#fdfaf4}"
    "h1{font-size:1.5em;margin:.3em 0 .6em;overflow-wrap:anywhere}"
    "audio{width:100%;margin:.5em 0}"
    "a.button{display:block;text-align:center;padding:.8em;margin:.8em 0;border-radius:.5em;"
    "background:#6b4f2a;color:#fff;text-decoration:none;font-weight:bold}"
    "th{text-align:left;padding-right:1em}"
    "ul{padding-left:1.2em}li{margin:.3em 0;overflow-wrap:anywhere}"
    "form{display:flex;gap:.5em;margin-bottom:1em}input[type=search]{flex:1;font-size:1em;padding:.4em}"
    "button{font-size:1em;padding:.4em .8em}"
    "footer{margin-top:2em;font-size:.9em;color:#666}";

std::string head(const std::string& title, const PageTexts& texts) {
    return std::string("<!DOCTYPE html>\n<html lang=\"") + texts.language +
           "\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           title + "</title>\n<style>" + kStyle + "</style>\n</head><body>\n";
}

std::string footer(const PageTexts& texts) {
    return std::string("<footer>") + texts.madeWith + "</footer>\n</body></html>\n";
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

const PageTexts& pageTexts() {
    static const PageTexts texts = [] {
        static std::vector<std::string> kept;  // what the pointers point into
        const PageTexts& id = kEnglishPageTexts;
        const char* PageTexts::*const fields[] = {
            &PageTexts::language,     &PageTexts::libraryTitle, &PageTexts::searchLabel,  &PageTexts::searchButton,
            &PageTexts::searchNothing, &PageTexts::allSongs,    &PageTexts::keyLabel,     &PageTexts::meterLabel,
            &PageTexts::tempoLabel,   &PageTexts::tempoUnit,    &PageTexts::fileLabel,    &PageTexts::lyricsHeading,
            &PageTexts::noLyrics,     &PageTexts::downloadMidi, &PageTexts::noAudio,      &PageTexts::audioPending,
            &PageTexts::noAudioSupport, &PageTexts::madeWith,   &PageTexts::untitled,     &PageTexts::notFound,
        };
        static_assert(sizeof fields / sizeof fields[0] * sizeof(const char*) == sizeof(PageTexts),
                      "every text of the pages is translated");
        kept.reserve(std::size(fields));
        PageTexts made = id;
        for (const auto field : fields) {
            kept.push_back(htmlEscaped(tr(id.*field)));
            made.*field = kept.back().c_str();
        }
        return made;
    }();
    return texts;
}

std::string indexPage(const std::vector<LibrarySong>& songs, const std::vector<std::string>& links,
                      const std::string& words, const PageTexts& texts) {
    std::string html = head(htmlEscaped(texts.libraryTitle), texts) + "<h1>" + texts.libraryTitle + "</h1>\n" +
                       "<form method=\"get\" action=\"/\" role=\"search\"><input type=\"search\" name=\"q\" "
                       "aria-label=\"" + texts.searchLabel + "\" placeholder=\"" + texts.searchLabel +
                       "\" value=\"" + htmlEscaped(words) + "\"><button>" + texts.searchButton + "</button></form>\n";
    if (songs.empty() && !words.empty()) html += std::string("<p>") + texts.searchNothing + "</p>\n";
    html += "<ul>\n";
    for (size_t i = 0; i < songs.size() && i < links.size(); ++i)
        html += "<li><a href=\"" + htmlEscaped(links[i]) + "\">" + htmlEscaped(songs[i].facts.titleText) + "</a></li>\n";
    html += "</ul>\n";
    if (!words.empty()) html += std::string("<p><a href=\"/\">") + texts.allSongs + "</a></p>\n";
    return html + footer(texts);
}

std::string songPage(const SongFacts& facts, const std::string& fileName, const std::string& fileLink,
                     const std::vector<std::string>& lyrics, const PageTexts& texts) {
    const std::string title = htmlEscaped(facts.titleText);
    std::string html = head(title, texts) + "<h1>" + title + "</h1>\n<table>\n";
    html += std::string("<tr><th>") + texts.keyLabel + "</th><td>" + htmlEscaped(facts.key) + "</td></tr>\n";
    if (!facts.meter.empty())
        html += std::string("<tr><th>") + texts.meterLabel + "</th><td>" + htmlEscaped(facts.meter) + "</td></tr>\n";
    html += std::string("<tr><th>") + texts.tempoLabel + "</th><td>" + std::to_string(facts.tempo) + " " +
            texts.tempoUnit + "</td></tr>\n";
    html += std::string("<tr><th>") + texts.fileLabel + "</th><td><a href=\"" + htmlEscaped(fileLink) + "\">" +
            htmlEscaped(fileName) + "</a></td></tr>\n</table>\n<h2>" + texts.lyricsHeading + "</h2>\n";
    if (lyrics.empty()) {
        html += std::string("<p>") + texts.noLyrics + "</p>\n";
    } else {
        html += "<p>\n";
        for (const auto& line : lyrics) html += htmlEscaped(line) + "<br>\n";
        html += "</p>\n";
    }
    return html + footer(texts);
}

std::string uploadPage(const UploadInfo& upload, const PageTexts& texts) {
    const std::string title = htmlEscaped(upload.facts.titleText.empty() ? texts.untitled : upload.facts.titleText);
    std::string html = head(title, texts) + "<h1>" + title + "</h1>\n";
    if (!upload.audioType.empty())
        html += "<audio controls preload=\"metadata\" src=\"" + htmlEscaped(upload.key) + ".ogg\">" +
                texts.noAudioSupport + "</audio>\n";
    else
        html += std::string("<p>") + (upload.render == RenderState::Pending ? texts.audioPending : texts.noAudio) +
                "</p>\n";
    std::string facts;
    if (!upload.facts.key.empty())
        facts += std::string("<tr><th>") + texts.keyLabel + "</th><td>" + htmlEscaped(upload.facts.key) + "</td></tr>\n";
    if (!upload.facts.meter.empty())
        facts += std::string("<tr><th>") + texts.meterLabel + "</th><td>" + htmlEscaped(upload.facts.meter) +
                 "</td></tr>\n";
    if (upload.facts.tempo > 0)
        facts += std::string("<tr><th>") + texts.tempoLabel + "</th><td>" + std::to_string(upload.facts.tempo) + " " +
                 texts.tempoUnit + "</td></tr>\n";
    if (!facts.empty()) html += "<table>\n" + facts + "</table>\n";
    html += "<a class=\"button\" href=\"" + htmlEscaped(upload.key) + ".mid\" download=\"" +
            htmlEscaped(upload.key) + ".mid\">" + texts.downloadMidi + "</a>\n";
    return html + footer(texts);
}

std::string notFoundPage(const PageTexts& texts) {
    return head(htmlEscaped(texts.libraryTitle), texts) + "<p>" + texts.notFound + "</p>\n<p><a href=\"/\">" +
           texts.allSongs + "</a></p>\n" + footer(texts);
}

}  // namespace tunecase
