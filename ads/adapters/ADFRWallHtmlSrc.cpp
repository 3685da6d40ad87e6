#include "ads/adapters/ADFRWallHtmlSrc.h"

#include "ads/base/ADFREndpoints.h"

namespace {

std::string head(const char* baseSheet, const char* firstSheet) {
    return std::string(R"(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="UTF-8">
<meta name="viewport" content="width=device-width,minimum-scale=1,maximum-scale=1,user-scalable=no">
<meta name="apple-mobile-web-app-capable" content="yes">
<title>おすすめアプリ</title>
<script src=")") +
           ADFREndpoints::url(ADFREndpoints::Kind::Jquery, ADFRWallHtmlSrc::kJqueryPath) + R"("></script>
<link rel="stylesheet" href=")" +
           baseSheet + R"(">
<link rel="stylesheet" id="wall_css" href=")" +
           firstSheet + R"(">
)";
}

// Every value from the list goes in as text or as an attribute value, never as markup: `s` also keeps a
// missing value from turning a jQuery setter into a getter.
const char* kScriptStart = R"(<script>
var json_str = '[ADFR_CPIJS_JSONDATA]';
function s(v) { return v === undefined || v === null ? '' : String(v); }
function icon(ad) {
  return $('<a/>').attr('href', s(ad.link_url)).append(
    $('<img/>').attr('src', s(ad.image_icon_114)).attr('alt', s(ad.title)).addClass('app_icon'));
}
$(function() {
)";

const char* kScriptBody = R"(
  try {
    var data = $.parseJSON(json_str);
    var wall = data.wall;
    var ads = data.ads;
    ads.sort(function(a, b) { return a.reward > b.reward ? -1 : (a.reward < b.reward ? 1 : 0); });
    if (ads.length == 0) throw 'empty data';
    var list = $('.app_list');
    var count = 0;
    for (var i = 0; i < ads.length; i++) {
      var ad = ads[i];
      if (ad.rest_count <= 50) continue;
      if (limit > 0 && count >= limit) break;
      list.append(article(ad));
      count++;
    }
    for (; count < fill; count++)
      list.append($('<article/>').append($('<div/>').attr('style', 'height:140px;width:140px').append('<br>')));
    $('#wall_beacon').attr('src', s(wall.beacon_url)).hide();
  } catch (e) {
    location.href = 'adfri_notfound:';
  }
});
</script>
</head>
<body>
<header class="site_header"><h1>おすすめアプリ</h1></header>
<div class="app_list"></div>
<img id="wall_beacon" width="1" height="1" src="">
</body>
</html>
)";

}  // namespace

std::string ADFRWallHtmlSrc::getAdcropsHtml() {
    return head("ziz_wall_base.css", "ziz_wall_1.css") + kScriptStart + R"(
  $('#wall_css').attr('href', './ziz_wall_4.css');
  var limit = 14, fill = 14;
  function article(ad) {
    return $('<article/>').append(icon(ad)).append($('<h1/>').text(s(ad.title)));
  })" + kScriptBody;
}

std::string ADFRWallHtmlSrc::getAdcropsListHtml() {
    return head("ziz_list_base.css", "./ziz_list_1.css") + kScriptStart + R"(
  $('#wall_css').attr('href', './ziz_list_4.css');
  var limit = 0, fill = 0;
  function article(ad) {
    var link = s(ad.link_url);
    var name = $('<h1/>').addClass('app_name').append($('<span/>').addClass('free').text('無料'))
        .append(document.createTextNode(s(ad.title)));
    var info = $('<div/>').addClass('app_info')
        .append($('<p/>').text(s(ad.description)))
        .append($('<a/>').attr('href', link).addClass('dl_button').text(ad.type == 2 ? '詳細へ' : 'インストール'));
    return $('<article/>').append($('<a/>').attr('href', link).append(name))
        .append($('<div/>').addClass('app_box clearfix').append(icon(ad)).append(info));
  })" + kScriptBody;
}

std::string ADFRWallHtmlSrc::getNotfoundHtml() {
    return R"(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="UTF-8">
<meta name="viewport" content="width=device-width,minimum-scale=1,maximum-scale=1,user-scalable=no">
<title>NotFound</title>
<style>
html, body, div, section, h1, p, ul, ol, li { margin: 0; padding: 0; border: 0; }
ul, ol, li { list-style: none; }
body { font-size: 12px; line-height: 1.2; font-family: "Hiragino Kaku Gothic ProN", "IPAGothic", "IPAPGothic", sans-serif; }
#notfound { text-align: center; padding: 15px; font-size: 14px; background: #f1f3ee; }
#notfound p { margin-top: 5px; line-height: 1.5; }
#notfound h1 { background: url("./adfr_wall_error.png") no-repeat center center; background-size: 100%; width: 160px; height: 140px; margin: 0 auto; text-indent: -9999px; }
</style>
</head>
<body>
<section id="notfound">
<h1>NotFound</h1>
<p>インターネットに接続できません。<br>通信状況を確認してください。</p>
</section>
</body>
</html>
)";
}

std::string ADFRWallHtmlSrc::withListText(const std::string& page, const std::string& listText) {
    std::string safe;
    safe.reserve(listText.size());
    for (char c : listText) {
        if (c == '<') {
            safe += "\\u003c";
        } else {
            safe += c;
        }
    }
    std::string out;
    const std::string marker = kJsonMarker;
    size_t from = 0;
    for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, from)) {
        out.append(page, from, at - from);
        out += safe;
        from = at + marker.size();
    }
    out.append(page, from, std::string::npos);
    return out;
}
