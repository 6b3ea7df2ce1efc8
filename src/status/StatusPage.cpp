// The status page: one HTML document with its style and script inline. The
// values come from the snapshot's JSON embedded in the page and then from
// /status.json every poll interval; the chart image follows each new tick.
#include "status/StatusSnapshot.h"

namespace karvo {

namespace {

constexpr const char* kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Karvo Temp status</title>
<style>
body{font-family:system-ui,-apple-system,"Segoe UI",sans-serif;margin:0;background:#f3f3f3;color:#111}
header{background:#1f3a5f;color:#fff;padding:.6rem 1rem}
header h1{font-size:1.3rem;margin:0}
#connection{font-weight:600}
.conn-connected{color:#9be59b}.conn-failed{color:#ffb3a7}
main{display:grid;gap:.8rem;padding:.8rem;grid-template-columns:repeat(auto-fit,minmax(20rem,1fr))}
section{background:#fff;border:1px solid #ccc;border-radius:.4rem;padding:.6rem .8rem}
section h2{font-size:1rem;margin:.1rem 0 .5rem}
dl{display:grid;grid-template-columns:auto 1fr;gap:.25rem .8rem;margin:0}
dt{color:#444}dd{margin:0;font-weight:600;font-variant-numeric:tabular-nums}
.lamps{display:flex;gap:1rem;flex-wrap:wrap;margin-bottom:.5rem}
.lamp{display:flex;align-items:center;gap:.35rem}
.lamp i{width:1rem;height:1rem;border-radius:50%;border:1px solid #333;background:#bbb;display:inline-block}
.lamp.on i,.lamp.blinking i{background:#1bd41b}
.lamp.blinking i{animation:blink 1s steps(1) infinite}
@keyframes blink{50%{background:#bbb}}
pre{font-family:ui-monospace,"DejaVu Sans Mono",monospace;font-size:.8rem;overflow:auto;max-height:16rem;margin:0;white-space:pre}
#chart-box{grid-column:1/-1}
#chart{width:100%;height:auto;display:block;border:1px solid #ddd}
.ranges button{font:inherit;padding:.2rem .7rem;margin-right:.3rem}
.ranges button[aria-pressed="true"]{background:#1f3a5f;color:#fff}
#stale{color:#b00020;font-weight:600}
</style>
</head>
<body>
<header><h1 id="furnace">Furnace</h1><div>Connection: <span id="connection">stopped</span> · last poll <span id="age">—</span></div><div id="stale" role="alert"></div></header>
<main>
<section aria-labelledby="h-values"><h2 id="h-values">Values</h2>
<div class="lamps" id="lamps"></div>
<dl>
<dt>Temperature</dt><dd id="temperature">—</dd>
<dt>Target Setpoint</dt><dd id="target_setpoint">—</dd>
<dt>Working Setpoint</dt><dd id="working_setpoint">—</dd>
<dt>Ramp Rate</dt><dd id="ramp_rate">—</dd>
<dt>Rate of Change</dt><dd id="rate_of_change">—</dd>
<dt>Output power limit</dt><dd id="output_power_limit">—</dd>
<dt>Working output</dt><dd id="working_output">—</dd>
<dt>Stable time</dt><dd id="stable_time">—</dd>
<dt>Segment</dt><dd id="segment">—</dd>
<dt>Polls consumed / failed</dt><dd id="polls">—</dd>
<dt>Journal samples waiting</dt><dd id="journal">—</dd>
</dl></section>
<section aria-labelledby="h-program"><h2 id="h-program">Instructions</h2><pre id="program"></pre></section>
<section aria-labelledby="h-log"><h2 id="h-log">Program log</h2><pre id="log"></pre></section>
<section id="chart-box" aria-labelledby="h-chart"><h2 id="h-chart">Chart</h2>
<div class="ranges" role="group" aria-label="Chart range"><button data-hours="1" aria-pressed="true">1 h</button><button data-hours="8" aria-pressed="false">8 h</button><button data-hours="all" aria-pressed="false">All</button></div>
<img id="chart" alt="Chart of temperature and setpoints" width="960" height="420">
</section>
</main>
<script id="initial" type="application/json">)";

constexpr const char* kTail = R"(</script>
<script>
"use strict";
const token = new URLSearchParams(location.search).get("token");
const withToken = u => token ? u + (u.includes("?") ? "&" : "?") + "token=" + encodeURIComponent(token) : u;
let hours = "1", sequence = -1, interval = 2500;
const $ = id => document.getElementById(id);
const text = (id, v) => { const e = $(id); if (e.textContent !== v) e.textContent = v; };
const num = (v, d, unit) => v === null || v === undefined ? "—" : (d === null ? String(v) : v.toFixed(d)) + (unit ? " " + unit : "");
function chart() { $("chart").src = withToken("chart.png?hours=" + hours + "&seq=" + sequence); }
let retry = null;
$("chart").addEventListener("error", () => { clearTimeout(retry); retry = setTimeout(() => { $("chart").src = withToken("chart.png?hours=" + hours + "&seq=" + sequence + "&r=" + Date.now()); }, 1000); });
function show(s) {
  document.title = s.furnace_name + " · Karvo Temp status";
  text("furnace", s.furnace_name);
  text("connection", s.connection);
  $("connection").className = s.connection === "connected" ? "conn-connected" : (s.connection === "poll failed" || s.connection === "sensor break") ? "conn-failed" : "";
  text("age", s.last_poll_age_s === null ? "—" : Math.round(s.last_poll_age_s) + " s ago");
  text("temperature", num(s.temperature_c, 2, "°C"));
  text("target_setpoint", num(s.target_setpoint_c, null, "°C"));
  text("working_setpoint", num(s.working_setpoint_c, null, "°C"));
  text("ramp_rate", num(s.ramp_rate, null, ""));
  text("rate_of_change", num(s.rate_of_change_c_per_min, 3, "°C/min"));
  text("output_power_limit", num(s.output_power_limit_percent, 1, "%"));
  text("working_output", num(s.working_output_percent, 1, "%"));
  text("stable_time", s.stable_time);
  text("segment", num(s.segment, null, ""));
  text("polls", s.polls_consumed + " / " + s.polls_failed);
  text("journal", num(s.journal_samples_waiting, null, ""));
  const lamps = $("lamps");
  s.lamps.forEach((l, i) => {
    let e = lamps.children[i];
    if (!e) { e = document.createElement("span"); e.appendChild(document.createElement("i")); e.appendChild(document.createElement("span")); e.setAttribute("role", "img"); lamps.appendChild(e); }
    e.className = "lamp " + l.state; e.id = "lamp_" + l.key; e.dataset.state = l.state;
    e.setAttribute("aria-label", l.name + ": " + l.state);
    e.lastChild.textContent = l.name;
  });
  text("program", s.program.join("\n"));
  const log = $("log"), atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
  text("log", s.log.join("\n"));
  if (atEnd) log.scrollTop = log.scrollHeight;
  interval = Math.max(500, s.poll_interval_ms || 2500);
  if (s.sequence !== sequence) { sequence = s.sequence; chart(); }
}
async function poll() {
  try {
    const r = await fetch(withToken("status.json"), {cache: "no-store"});
    if (!r.ok) throw new Error("HTTP " + r.status);
    show(await r.json());
    text("stale", "");
  } catch (e) {
    text("stale", "The program does not answer (" + e.message + "); the values shown may be old.");
  }
  setTimeout(poll, interval);
}
document.querySelectorAll(".ranges button").forEach(b => b.addEventListener("click", () => {
  hours = b.dataset.hours;
  document.querySelectorAll(".ranges button").forEach(o => o.setAttribute("aria-pressed", String(o === b)));
  chart();
}));
show(JSON.parse($("initial").textContent));
setTimeout(poll, interval);
</script>
</body>
</html>
)";

}  // namespace

std::string RenderStatusPage(const TStatusSnapshot& s, TDateTime nowUtc) {
  return std::string(kHead) + RenderStatusJson(s, nowUtc) + kTail;
}

}  // namespace karvo
