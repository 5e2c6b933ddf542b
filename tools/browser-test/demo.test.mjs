// Drives the demo page in Debian's Chromium the way a cashier would.
// Run by tests/e2e/test_demo_browser.py, which starts the gateway and serves
// the page; it passes everything through the environment:
//   DEMO_PAGE        address of the page, with ?url=...&token=...
//   DEMO_SHOTS       folder for the screenshots
//   DEMO_PROFILE     fresh Chromium profile folder
//   DEMO_PARTS       what to do after opening the session, comma-separated:
//                    terminal (initialize, pinpad), credit, undo (cancel the
//                    credit payment from the Cancellation tab), cancel, pix,
//                    print, lost (a payment whose connection drops)
//   DEMO_PDF         the document the print part chooses
//   DEMO_CHROMIUM    the browser (default /usr/bin/chromium)
// It prints one line per step and a final JSON line "RESULT {...}" that the
// test reads; any failure exits non-zero with the reason.
import { chromium } from "playwright-core";
import path from "node:path";

const env = process.env;
const shots = env.DEMO_SHOTS;
const timeout = 20000;
const summary = { steps: [] };
const taken = new Set();

const started = Date.now();
function step(name, detail = "") {
  summary.steps.push(name);
  const seconds = ((Date.now() - started) / 1000).toFixed(1);
  console.log(`step: ${name} (${seconds} s)${detail ? ` — ${detail}` : ""}`);
}

async function connectAndOpenSession(page) {
  await page.click("#connect");
  await page.locator("#connection-state", { hasText: /^connected$/ }).waitFor();
  step("connected");
  await page.click("#session-start");
  const session = page.locator('#session-info dt[data-name="session"] + dd');
  await session.waitFor();
  const uuid = await session.textContent();
  if (!/^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/.test(uuid)) {
    throw new Error(`session identifier ${uuid}`);
  }
  summary.session = uuid;
  summary.terminal = await page.textContent('#session-info dt[data-name="terminal"] + dd');
  step("session opened", uuid);
}

function fact(page, name) {
  return page.locator(`#terminal-info dt[data-name="${name}"] + dd`);
}

async function versions(page) {
  await page.click("#version-service");
  await page.click("#version-library");
  await fact(page, "gateway version").waitFor();
  await fact(page, "library version").waitFor();
  summary.versions = {
    gateway: await fact(page, "gateway version").textContent(),
    library: await fact(page, "library version").textContent(),
  };
  step("versions", JSON.stringify(summary.versions));
}

async function terminalQueries(page) {
  await page.click("#initialize");
  await page.click("#pinpad");
  await fact(page, "initialization").waitFor();
  await fact(page, "pinpad").waitFor();
  summary.initialization = await fact(page, "initialization").textContent();
  summary.pinpad = await fact(page, "pinpad").textContent();
  await shot(page, "terminal");
  step("terminal queries answered", `${summary.initialization} ${summary.pinpad}`);
}

// Waits for a prompt newer than the last one seen, or for the result;
// returns what is on screen.
let lastPrompt = 0;
async function next(page) {
  await page.waitForFunction((seen) => {
    const prompt = document.getElementById("prompt");
    return document.querySelector("#result .result-status") !== null ||
      (prompt.dataset.type !== undefined && Number(prompt.dataset.seq) > seen);
  }, lastPrompt, { timeout });
  const result = page.locator("#result .result-status");
  if (await result.count()) return { type: "result", text: await result.textContent() };
  lastPrompt = Number(await page.getAttribute("#prompt", "data-seq"));
  return {
    type: await page.getAttribute("#prompt", "data-type"),
    title: await page.textContent("#prompt h3"),
    buttons: await page.$$eval("#prompt button", (buttons) => buttons.map((b) => b.textContent)),
    field: await page.$eval("#prompt", (prompt) => prompt.querySelector("#collect-input")?.dataset.fieldType ?? null),
  };
}

async function press(page, label) {
  await page.click(`#prompt button:text-is("${label}")`);
}

async function choosePayment(page, kind, amount, installments) {
  await page.click('.tab[data-tab="pay-form"]');
  await page.selectOption("#pay-kind", kind);
  await page.fill("#pay-amount", amount);
  if (installments !== undefined) await page.fill("#pay-installments", String(installments));
  await page.click("#pay-start");
}

// Menu answers by what the menu offers: the payment kind, how the card is
// read, how the credit is paid.
function menuChoice(prompt, reading) {
  for (const [offered, choice] of [
    ["Credito", "Credito"],
    ["Digitado", reading],
    ["Parcelado pelo Estabelecimento", "Parcelado pelo Estabelecimento"],
  ]) {
    if (prompt.buttons.includes(offered)) return choice;
  }
  throw new Error(`unexpected menu ${JSON.stringify(prompt)}`);
}

// A payment whose kind is chosen at the terminal: credit, the card typed in,
// three instalments from the store. Menus are answered with their buttons,
// the card fields and the instalments are typed into the collect forms.
const CARD = { 512: "4111111111111111", 513: "1230", 514: "123", 505: "03" };

async function approvedCreditPayment(page) {
  await choosePayment(page, "0", "12,34");
  const seen = [];
  for (;;) {
    const prompt = await next(page);
    seen.push(prompt);
    if (prompt.type === "result") break;
    if (prompt.type === "menu") {
      if (!taken.has("prompt-menu")) await shot(page, "prompt-menu");
      await press(page, menuChoice(prompt, "Digitado"));
    } else if (prompt.type === "collect" && CARD[prompt.field]) {
      await page.fill("#collect-input", CARD[prompt.field]);
      if (!taken.has("prompt-collect")) await shot(page, "prompt-collect");
      await press(page, "OK");
    } else {
      throw new Error(`unexpected prompt ${JSON.stringify(prompt)}`);
    }
  }
  const status = seen[seen.length - 1].text;
  if (!status.startsWith("approved")) throw new Error(`credit payment ended "${status}"`);
  await page.locator("#receipts .receipt").first().waitFor();
  summary.credit = {
    prompts: seen.slice(0, -1).map((p) => `${p.type}:${p.field || p.buttons.join("/")}`),
    rows: await resultRows(page),
    receipts: await page.$$eval("#receipts pre", (copies) => copies.map((copy) => copy.textContent)),
    cancelForm: { nsu: await page.inputValue("#cancel-nsu"), amount: await page.inputValue("#cancel-amount") },
  };
  await shot(page, "result");
  step("credit payment approved", summary.credit.prompts.join(" | "));
}

// A payment of sale 4242 whose connection drops at its first menu: after
// reconnecting and opening a new session, the page asks how that sale ended.
async function lostConnection(page) {
  await page.click('.tab[data-tab="pay-form"]');
  await page.selectOption("#pay-kind", "0");
  await page.fill("#pay-amount", "3,00");
  await page.fill("#pay-sale", "4242");
  await page.click("#pay-start");
  const prompt = await next(page);
  if (prompt.type !== "menu") throw new Error(`unexpected prompt ${JSON.stringify(prompt)}`);
  await page.click("#disconnect");
  await page.locator("#connection-state", { hasText: /^disconnected$/ }).waitFor();
  step("connection dropped during the payment");
  await connectAndOpenSession(page);
  const line = page.locator("#status-line", { hasText: /^Sale 4242 after the lost connection/ });
  await line.waitFor({ timeout });
  summary.lost = await line.textContent();
  await shot(page, "lost-connection");
  step("outcome after reconnecting", summary.lost);
}

async function resultRows(page) {
  return page.$$eval(".result-table tr", (rows) => rows.map((row) => [row.cells[0].textContent, row.cells[1].textContent]));
}

// Undoes the last approved payment with the Cancellation tab, which the
// page filled in from that payment's result; the cashier confirms at the
// terminal.
async function undoLastPayment(page) {
  await page.click('.tab[data-tab="cancel-form"]');
  const form = {
    nsu: await page.inputValue("#cancel-nsu"),
    date: await page.inputValue("#cancel-date"),
    amount: await page.inputValue("#cancel-amount"),
  };
  await page.click("#cancel-start");
  const seen = [];
  for (;;) {
    const prompt = await next(page);
    seen.push(`${prompt.type}:${prompt.title || prompt.text}`);
    if (prompt.type === "result") break;
    if (prompt.type !== "question" && prompt.type !== "confirmation") {
      throw new Error(`unexpected prompt ${JSON.stringify(prompt)}`);
    }
    await press(page, prompt.type === "question" ? "Sim" : prompt.buttons[0]);
  }
  summary.undo = { form, prompts: seen, rows: await resultRows(page) };
  step("payment undone", seen.join(" | "));
}

// A payment cancelled by the cashier: the card is swiped, the terminal then
// allows cancelling (the Cancel button lights up while it reads the card);
// at the next menu the cashier presses Cancel, and answers the cancel
// confirmation "Sim".
async function cancelledPayment(page) {
  await choosePayment(page, "0", "5,00");
  const seen = [];
  let cancelled = false;
  let status = null;
  while (status === null) {
    const prompt = await next(page);
    seen.push(`${prompt.type}:${prompt.title}`);
    if (prompt.type === "result") {
      status = prompt.text;
    } else if (prompt.type === "question" && /cancelar/i.test(prompt.title)) {
      await shot(page, "prompt-cancel");
      await press(page, "Sim");
    } else if (prompt.type === "menu" && (prompt.buttons.includes("Digitado") || prompt.buttons.includes("Credito"))) {
      await press(page, menuChoice(prompt, "Magnetico/Chip"));
    } else if (prompt.type === "menu" && !cancelled) {
      if (!(await page.isEnabled("#tx-cancel"))) throw new Error("Cancel is not enabled after the card was read");
      await page.click("#tx-cancel");
      cancelled = true;
      step("cancel pressed", prompt.title);
      await page.locator("#prompt h3", { hasText: /cancelar/i }).waitFor();
    } else if (prompt.type === "confirmation" && cancelled) {
      await press(page, prompt.buttons[0]);
    } else {
      throw new Error(`unexpected prompt ${JSON.stringify(prompt)}`);
    }
  }
  if (!cancelled) throw new Error("no menu came after the terminal allowed cancelling");
  summary.cancelled = { status, prompts: seen };
  step("payment cancelled", status);
}

// A PIX payment: the QR code is drawn on the canvas; its pixels go back to
// the test, which decodes them.
async function pixPayment(page) {
  await choosePayment(page, "122", "7,50");
  await page.locator("#qrcode:not(.hidden)").waitFor();
  await page.locator("#qrcode-canvas").screenshot({ path: path.join(shots, "qrcode.png") });
  await shot(page, "pix");
  summary.pix = { payload: await page.inputValue("#qrcode-text") };
  for (;;) {
    const prompt = await next(page);
    if (prompt.type === "result") {
      summary.pix.status = prompt.text;
      break;
    }
    throw new Error(`unexpected prompt ${JSON.stringify(prompt)}`);
  }
  summary.pix.rows = await resultRows(page);
  step("pix payment", summary.pix.status);
}

// Chooses the PDF in the file input and prints it; the gateway answers
// nothing when the document went to the printer.
async function printDocument(page) {
  await page.click('.tab[data-tab="print-form"]');
  await page.setInputFiles("#print-file", env.DEMO_PDF);
  await page.click("#print-start");
  await page.locator("#status-line", { hasText: "sent to the printer" }).waitFor();
  step("document printed");
}

async function shot(page, name) {
  taken.add(name);
  await page.screenshot({ path: path.join(shots, `${name}.png`), fullPage: true });
}

// A fresh profile folder: Playwright passes it as --user-data-dir.
const context = await chromium.launchPersistentContext(env.DEMO_PROFILE, {
  executablePath: env.DEMO_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--ignore-certificate-errors",
  ],
  ignoreHTTPSErrors: true,
  viewport: { width: 1280, height: 1000 },
});

let page;
try {
  page = context.pages()[0] || (await context.newPage());
  page.setDefaultTimeout(timeout);
  const pageErrors = [];
  page.on("pageerror", (error) => pageErrors.push(String(error)));
  // Any request that leaves loopback would be an external resource.
  const outside = [];
  page.on("request", (request) => {
    const host = new URL(request.url()).hostname;
    if (host !== "127.0.0.1" && host !== "localhost") outside.push(request.url());
  });

  step("browser started");
  await page.goto(env.DEMO_PAGE);
  await connectAndOpenSession(page);
  await versions(page);
  const parts = {
    terminal: terminalQueries,
    credit: approvedCreditPayment,
    undo: undoLastPayment,
    cancel: cancelledPayment,
    pix: pixPayment,
    print: printDocument,
    lost: lostConnection,
  };
  for (const part of (env.DEMO_PARTS || "").split(",").filter(Boolean)) {
    if (!parts[part]) throw new Error(`unknown part ${part}`);
    await parts[part](page);
  }

  summary.pageErrors = pageErrors;
  summary.outside = outside;
  summary.log = await page.$$eval("#log li code", (items) => items.map((item) => item.textContent));
  console.log(`RESULT ${JSON.stringify(summary)}`);
} catch (error) {
  console.error(`FAILED: ${error.stack || error}`);
  if (page) {
    await page.screenshot({ path: path.join(shots, "failure.png"), fullPage: true }).catch(() => {});
    const log = await page.$$eval("#log li", (items) => items.map((item) => item.textContent)).catch(() => []);
    console.error(`page log:\n${log.join("\n")}`);
  }
  process.exitCode = 1;
} finally {
  await context.close();
}
