#include "queryd/assets.h"

namespace queryd {

std::string_view pageStyle()
{
    // Sized for the program's browser area, about 570 x 430 px: one
    // column, long server strings wrap anywhere instead of widening it.
    return R"css(:root { color-scheme: dark; }
* { box-sizing: border-box; }
html { background: #101318; }
body { margin: 0; padding: 10px 12px; color: #e8e6e1; background: #101318;
  font: 13px/1.4 "Liberation Sans", "DejaVu Sans", Arial, sans-serif; overflow-wrap: anywhere; }
h1 { font-size: 18px; margin: 0 0 2px; color: #ffd27a; }
h2 { font-size: 14px; margin: 14px 0 4px; color: #ffd27a; }
h3 { font-size: 13px; margin: 10px 0 2px; }
a { color: #8cc8ff; }
code { color: #ffd27a; }
.sub, .quiet, footer { color: #a9a59c; }
.sub { margin: 0 0 8px; }
footer { margin-top: 10px; font-size: 12px; }
footer p { margin: 2px 0; }
.problem { border-left: 3px solid #ff8a5c; background: #2a1d18; padding: 6px 8px; margin: 6px 0; }
.facts { display: grid; grid-template-columns: repeat(auto-fill, minmax(130px, 1fr)); gap: 2px 12px; margin: 6px 0; }
.facts dt { color: #a9a59c; font-size: 11px; text-transform: uppercase; letter-spacing: .04em; }
.facts dd { margin: 0 0 4px; font-weight: bold; }
.facts div { min-width: 0; }
.description, .mutators { margin: 4px 0; }
.label { color: #a9a59c; }
table { width: 100%; border-collapse: collapse; table-layout: fixed; margin: 6px 0; }
th, td { padding: 2px 6px; text-align: right; vertical-align: top; }
.players th { color: #a9a59c; font-weight: normal; border-bottom: 1px solid #2f3540; }
.players th.name, .players td.name { text-align: left; width: 55%; }
.players tbody tr:nth-child(even) { background: #171b22; }
tr.red td.name { border-left: 3px solid #ff5f5f; color: #ffb3b3; }
tr.blue td.name { border-left: 3px solid #5fa0ff; color: #b3d1ff; }
.team { display: inline-block; margin-right: 12px; padding: 1px 8px; border-radius: 3px; }
.team.red { background: #4a1f1f; } .team.blue { background: #1f2f4a; } .team.other { background: #2f3540; }
details { margin: 8px 0; }
summary { cursor: pointer; color: #8cc8ff; }
.raw th { text-align: left; width: 40%; color: #a9a59c; font-weight: normal; }
.raw td { text-align: left; }
.steps li, .recent li { margin: 3px 0; }
.seen { padding-left: 18px; } .seen li { margin: 2px 0; }
.online { color: #8fe08f; }
.matches th, .matches td { text-align: left; }
.search input { width: 16em; }
)css";
}

std::string_view refreshScript()
{
    // Fetches the same page and swaps in its body: no blank moment, the
    // scroll position and the opened sections stay as they were. A failed
    // fetch keeps the page and says so.
    return R"js("use strict";
(function () {
  const seconds = Number(document.body.dataset.refresh);
  if (!(seconds > 0)) return;
  async function refresh() {
    try {
      const response = await fetch(location.href, { cache: "no-store", credentials: "same-origin" });
      if (!response.ok) throw new Error("HTTP " + response.status);
      const next = new DOMParser().parseFromString(await response.text(), "text/html");
      const opened = Array.from(document.querySelectorAll("details[open][id]"), (d) => d.id);
      const x = window.scrollX, y = window.scrollY;
      document.title = next.title;
      document.body.replaceWith(document.adoptNode(next.body));
      for (const id of opened) {
        const section = document.getElementById(id);
        if (section) section.open = true;
      }
      window.scrollTo(x, y);
    } catch (error) {
      const note = document.getElementById("refresh-note");
      if (note) note.textContent = "Refreshing failed (" + error.message + "); trying again in " + seconds + " s.";
    }
    setTimeout(refresh, seconds * 1000);
  }
  setTimeout(refresh, seconds * 1000);
})();
)js";
}

}
