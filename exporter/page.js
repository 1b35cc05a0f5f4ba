// The live page: rates every second, today's totals every ten seconds, the
// 30-day chart and today's hours every minute. Everything comes from this
// exporter.
"use strict";
const history = [];       // {time, rates: {label: {in, out}}}, oldest first
const keepseconds = 300;
const colours = ["#1f6fb2", "#c2571a", "#2e8b57", "#8a2be2", "#b8860b", "#d6336c", "#0f7c8c", "#555"];
let today = {};
let clockdate = "";       // the appliance's date, from its clock: its own day, not the browser's

function human(bytes) {
  if (bytes === null || bytes === undefined) return "-";
  const units = ["B", "kB", "MB", "GB", "TB"];
  let value = bytes, unit = 0;
  while (value >= 1000 && unit < units.length - 1) { value /= 1000; unit++; }
  return (unit === 0 ? String(Math.round(value)) : value.toFixed(2)) + " " + units[unit];
}

function cell(row, text, kind) {
  const td = document.createElement("td");
  td.textContent = text;
  if (kind) td.className = kind;
  row.appendChild(td);
}

function labelsof(rates) {
  const labels = Object.keys(rates);
  for (const label of Object.keys(today)) if (!labels.includes(label)) labels.push(label);
  return labels;
}

function drawtable(rates) {
  const body = document.querySelector("#rates tbody");
  body.textContent = "";
  for (const label of labelsof(rates)) {
    const row = document.createElement("tr");
    row.dataset.label = label;
    cell(row, label);
    const rate = rates[label], day = today[label];
    cell(row, rate ? human(rate.in) : "-", "in");
    cell(row, rate ? human(rate.out) : "-", "out");
    cell(row, day ? human(day.in) : "-", "in");
    cell(row, day ? human(day.out) : "-", "out");
    body.appendChild(row);
  }
}

function svgnode(name, attributes) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  return node;
}

// A line per label and direction over the last five minutes, scaled to the peak.
function drawchart() {
  const svg = document.getElementById("live");
  svg.textContent = "";
  if (history.length === 0) return;
  const now = history[history.length - 1].time;
  let peak = 1;
  for (const sample of history)
    for (const rate of Object.values(sample.rates)) peak = Math.max(peak, rate.in, rate.out);
  for (const y of [5, 52.5, 100, 147.5])
    svg.appendChild(svgnode("line", {x1: 0, x2: 600, y1: y, y2: y, stroke: "#eee",
      "vector-effect": "non-scaling-stroke"}));
  const labels = Object.keys(history[history.length - 1].rates);
  const legend = document.getElementById("legend");
  legend.textContent = "peak " + human(peak) + "/s, in solid, out dashed: ";
  labels.forEach((label, index) => {
    for (const direction of ["in", "out"]) {
      const points = history.filter(s => s.rates[label]).map(s =>
        ((600 * (1 - (now - s.time) / (keepseconds * 1000))).toFixed(1)) + "," +
        ((195 - 190 * s.rates[label][direction] / peak).toFixed(1)));
      svg.appendChild(svgnode("polyline", {points: points.join(" "), fill: "none",
        stroke: colours[index % colours.length], "stroke-width": 1.5,
        "stroke-dasharray": direction === "out" ? "4 3" : "none",
        "vector-effect": "non-scaling-stroke"}));
    }
    const key = document.createElement("span");
    key.style.color = colours[index % colours.length];
    key.textContent = label + "  ";
    legend.appendChild(key);
  });
}

// The in and out of all labels of an interval, or null without figures.
function allinout(traffic) {
  if (!traffic) return null;
  const sum = {in: 0, out: 0};
  for (const counts of Object.values(traffic)) { sum.in += counts.in; sum.out += counts.out; }
  return sum;
}

// A pair of bars per hour, in and out of all labels, scaled to the busiest hour.
function drawhours(report) {
  const svg = document.getElementById("hours");
  svg.textContent = "";
  const slot = 480 / Math.max(report.hours.length, 1), bottom = 185, height = 175;
  const sums = report.hours.map(hour => allinout(hour.traffic));
  let peak = 1;
  for (const sum of sums) if (sum) peak = Math.max(peak, sum.in, sum.out);
  report.hours.forEach((hour, index) => {
    const x = index * slot, clock = hour.start.slice(11), sum = sums[index];
    if (!sum) {
      svg.appendChild(svgnode("rect", {x: x, y: bottom - height, width: slot, height: height,
        class: "missing", "data-start": hour.start}));
    } else {
      ["in", "out"].forEach((direction, side) => {
        const h = sum[direction] > 0 ? Math.max(height * sum[direction] / peak, 1) : 0;
        const bar = svgnode("rect", {x: (x + slot * (0.12 + 0.4 * side)).toFixed(1),
          y: (bottom - h).toFixed(1), width: (slot * 0.36).toFixed(1), height: h.toFixed(1),
          class: direction + (hour.running ? " running" : ""), "data-start": hour.start});
        const tip = svgnode("title", {});
        tip.textContent = clock + " " + direction + " " + human(sum[direction]) +
          (hour.running ? " so far" : "");
        bar.appendChild(tip);
        svg.appendChild(bar);
      });
    }
    if (index % 3 === 0) {
      const tick = svgnode("text", {x: (x + 1).toFixed(1), y: 198});
      tick.textContent = clock;
      svg.appendChild(tick);
    }
  });
  svg.appendChild(svgnode("line", {x1: 0, x2: 480, y1: bottom, y2: bottom, stroke: "#bbb",
    "vector-effect": "non-scaling-stroke"}));
  const total = allinout(report.total);
  document.getElementById("hourstotal").textContent = total ?
    "in " + human(total.in) + ", out " + human(total.out) : "";
}

function status(text, bad) {
  const node = document.getElementById("status");
  node.textContent = text;
  node.className = bad ? "bad" : "";
}

async function fetchjson(path) {
  const response = await fetch(path, {cache: "no-store"});
  if (!response.ok) throw new Error(path + ": " + response.status);
  return response.json();
}

async function refreshrates() {
  try {
    const reading = await fetchjson("api/rates");
    const time = Date.now();
    history.push({time, rates: reading.rates});
    while (history.length && history[0].time < time - keepseconds * 1000) history.shift();
    document.getElementById("clock").textContent = reading.time.replace("T", " ");
    const date = reading.time.slice(0, 10);
    if (date !== clockdate) { clockdate = date; refreshhours(); }
    drawtable(reading.rates);
    drawchart();
    status("", false);
  } catch (error) {
    status("no answer: " + error.message, true);
  }
}

async function refreshtoday() {
  try {
    const report = await fetchjson("api/today");
    const day = report.days.find(d => d.today) || report.days[report.days.length - 1];
    today = day && day.traffic ? day.traffic : {};
  } catch (error) {
    status("no answer: " + error.message, true);
  }
}

// Fetched past the browser's cache; the image shows it from memory.
async function refreshchart() {
  try {
    const response = await fetch("chart.svg?days=30", {cache: "no-store"});
    if (!response.ok) return;
    const image = document.getElementById("chart");
    const old = image.src;
    image.src = URL.createObjectURL(await response.blob());
    if (old.startsWith("blob:")) URL.revokeObjectURL(old);
  } catch (error) {
    status("no answer: " + error.message, true);
  }
}

async function refreshhours() {
  if (!clockdate) return;
  try {
    drawhours(await fetchjson("api/hours?date=" + clockdate));
  } catch (error) {
    status("no answer: " + error.message, true);
  }
}

refreshtoday().then(refreshrates);
setInterval(refreshrates, 1000);
setInterval(refreshtoday, 10000);
setInterval(refreshchart, 60000);
setInterval(refreshhours, 60000);
