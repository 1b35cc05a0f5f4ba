// The live page: rates every second, today's totals every ten seconds, the
// 30-day chart every minute. Everything comes from this exporter.
"use strict";
const history = [];       // {time, rates: {label: {in, out}}}, oldest first
const keepseconds = 300;
const colours = ["#1f6fb2", "#c2571a", "#2e8b57", "#8a2be2", "#b8860b", "#d6336c", "#0f7c8c", "#555"];
let today = {};

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

refreshtoday().then(refreshrates);
setInterval(refreshrates, 1000);
setInterval(refreshtoday, 10000);
setInterval(refreshchart, 60000);
