// The demo point-of-sale page: one WebSocket to the gateway, a session, the
// terminal queries, payments, cancellations and reprints, and the terminal's
// prompts rendered as forms. Every message in and out goes to the log pane.
"use strict";

const $ = (id) => document.getElementById(id);

const state = {
  socket: null,
  session: null, // {uuid, expiration, store, terminal}
  busy: false, // a payment, cancellation or reprint is running
  prompts: 0, // prompts shown so far; numbers each one on the page
  runningSale: null, // the sale id of the operation running now, when the page sent one
  lostSale: null, // the sale whose operation was running when the connection was lost
};

// ---- log pane ---------------------------------------------------------------

function log(direction, text) {
  const item = document.createElement("li");
  item.className = direction;
  const time = new Date().toLocaleTimeString("pt-BR", { hour12: false });
  const arrow = { out: "→", in: "←", info: "•" }[direction];
  const head = document.createElement("span");
  head.className = "log-head";
  head.textContent = `${time} ${arrow}`;
  const body = document.createElement("code");
  body.textContent = text;
  item.append(head, body);
  const list = $("log");
  list.append(item);
  while (list.children.length > 2000) list.firstElementChild.remove();
  list.scrollTop = list.scrollHeight;
}

// ---- status line and controls ----------------------------------------------

function setStatus(text, kind = "info") {
  const line = $("status-line");
  line.textContent = text || "\u00a0";
  line.className = `status-line ${kind}`;
}

function setBadge(id, text, on) {
  const badge = $(id);
  badge.textContent = text;
  badge.className = `badge ${on ? "on" : "off"}`;
}

// While an operation runs the gateway reads every message of this
// connection as an answer to the terminal, so only the prompt's buttons and
// Cancel stay usable.
function refreshControls() {
  const connected = state.socket !== null && state.socket.readyState === WebSocket.OPEN;
  const free = connected && !state.busy;
  $("connect").disabled = state.socket !== null;
  $("disconnect").disabled = !connected;
  $("session-start").disabled = !free;
  $("session-finish").disabled = !free || state.session === null;
  for (const button of document.querySelectorAll("[data-needs]")) {
    button.disabled = !free || (button.dataset.needs === "session" && state.session === null);
  }
  setBadge("connection-state", connected ? "connected" : "disconnected", connected);
  setBadge("busy", state.busy ? "running" : "idle", state.busy);
  if (!state.busy) $("tx-cancel").disabled = true;
}

function setBusy(busy) {
  state.busy = busy;
  refreshControls();
}

function showFacts(listId, facts) {
  const list = $(listId);
  for (const [name, value] of facts) {
    let term = list.querySelector(`dt[data-name="${name}"]`);
    if (!term) {
      term = document.createElement("dt");
      term.dataset.name = name;
      term.textContent = name;
      const detail = document.createElement("dd");
      list.append(term, detail);
    }
    term.nextElementSibling.textContent = value;
  }
}

// ---- connection --------------------------------------------------------------

function send(message) {
  if (!state.socket || state.socket.readyState !== WebSocket.OPEN) {
    setStatus("Not connected to the gateway.", "error");
    return false;
  }
  const text = JSON.stringify(message);
  state.socket.send(text);
  log("out", text);
  return true;
}

function withSession(message) {
  return { route: message.route, session_uuid: state.session ? state.session.uuid : "", ...message };
}

function connect() {
  const url = $("url").value.trim();
  let socket;
  try {
    socket = new WebSocket(url);
  } catch (error) {
    setStatus(`Invalid address: ${error.message}`, "error");
    return;
  }
  state.socket = socket;
  log("info", `connecting to ${url}`);
  setStatus(`Connecting to ${url}…`);
  socket.addEventListener("open", () => {
    log("info", "connected");
    setStatus("Connected. Open a session with the access token.", "ok");
    refreshControls();
  });
  socket.addEventListener("message", (event) => receive(event.data));
  socket.addEventListener("close", (event) => {
    if (state.socket !== socket) return;
    log("info", `connection closed (code ${event.code})`);
    setStatus(
      event.code === 1006
        ? "Connection failed or lost. Is the gateway running, and does the browser trust its certificate?"
        : "Connection closed.",
      "error",
    );
    state.socket = null;
    // The outcome of an operation cut off here is asked for once a new
    // session is open.
    if (state.busy && state.runningSale !== null) state.lostSale = state.runningSale;
    state.runningSale = null;
    state.busy = false;
    clearPrompt();
    refreshControls();
  });
}

function disconnect() {
  if (state.socket) state.socket.close(1000);
}

// ---- incoming messages -------------------------------------------------------

function receive(text) {
  log("in", text);
  if (typeof text !== "string") return;
  let message;
  try {
    message = JSON.parse(text);
  } catch {
    // The gateway sends a failed PDF conversion as plain text.
    setStatus(text, "error");
    return;
  }
  const handler = handlers[message.type];
  if (handler) handler(message, text);
}

const handlers = {
  session(message) {
    if (message.status === "created") {
      state.session = {
        uuid: message.session_uuid,
        expiration: message.expiration,
        store: message.store_code,
        terminal: message.terminal_number,
      };
      showFacts("session-info", [
        ["session", message.session_uuid],
        ["expires (UTC)", message.expiration],
        ["store", message.store_code],
        ["terminal", message.terminal_number],
      ]);
      if (state.lostSale !== null) askStatus(state.lostSale);
    } else if (message.status === "finished") {
      state.session = null;
      $("session-info").replaceChildren();
    }
    setStatus(message.message, "ok");
    refreshControls();
  },

  initialize(message) {
    showFacts("terminal-info", [["initialization", message.message]]);
    setStatus(message.message, "ok");
  },

  status(message) {
    showFacts("terminal-info", [["pinpad", `${message.status || "unknown"} — ${message.message || "no answer"}`]]);
    setStatus(message.message || "The pinpad query gave no answer.", message.status === "connected" ? "ok" : "warn");
  },

  version(message) {
    const name = message.category === "service_exe" ? "gateway version" : "library version";
    showFacts("terminal-info", [[name, message.version]]);
  },

  // An error ends the operation that caused it, except the failed sale
  // callback, which the result follows. A session the gateway no longer
  // knows is forgotten, so the cashier opens a new one.
  error(message) {
    setStatus(message.message, "error");
    if (["Sessão inválida.", "Sessão expirada."].includes(message.message)) {
      state.session = null;
      $("session-info").replaceChildren();
    }
    if (!message.message.startsWith("Erro ao registrar transação")) setBusy(false);
  },

  message(message) {
    setStatus(message.message);
  },

  can_cancel(message) {
    $("tx-cancel").disabled = !(message.can_cancel === true && state.busy);
  },

  menu(message) {
    renderPrompt(message, (form) => {
      const options = document.createElement("div");
      options.className = "options";
      for (const option of message.options) {
        options.append(button(labelOfOption(option), () => answer({ type: "menu", response: option, back_menu: false }), "option"));
      }
      form.append(options);
      form.append(
        actions([
          button("Back", () => answer({ type: "menu", response: "", back_menu: true }), "secondary"),
          button("Cancel", () => answer({ type: "menu", response: "", back_menu: false }), "danger"),
        ]),
      );
    });
  },

  collect(message) {
    renderPrompt(message, (form) => {
      const input = collectInput(message);
      const error = document.createElement("p");
      error.className = "field-error";
      form.append(input, error);
      const submit = () => {
        const problem = checkCollect(message, input.value);
        if (problem) {
          error.textContent = problem;
          input.focus();
          return;
        }
        answer({ type: "collect", typed: true, response: input.value, back_menu: false });
      };
      form.addEventListener("submit", (event) => {
        event.preventDefault();
        submit();
      });
      form.append(
        actions([
          button("OK", submit, "primary"),
          button("Back", () => answer({ type: "collect", typed: false, response: "", back_menu: true }), "secondary"),
          button("Cancel", () => answer({ type: "collect", typed: false, response: "", back_menu: false }), "danger"),
        ]),
      );
      setTimeout(() => input.focus(), 0);
    });
  },

  question(message) {
    renderPrompt(message, (form) => {
      form.append(
        actions(message.options.map((option) => button(option, () => answer({ type: "question", response: option }), "option"))),
      );
    });
  },

  confirmation(message) {
    renderPrompt(message, (form) => {
      const label = message.options.length ? message.options[0] : "OK";
      form.append(actions([button(label, () => answer({ type: "confirmation" }), "primary")]));
    });
  },

  qrcode(message) {
    const canvas = $("qrcode-canvas");
    $("qrcode-text").value = message.data;
    $("qrcode").classList.remove("hidden");
    try {
      Qr.draw(canvas, message.data);
      canvas.classList.remove("hidden");
    } catch (error) {
      canvas.classList.add("hidden");
      setStatus(`The QR code could not be drawn (${error.message}); use the code beside it.`, "warn");
    }
  },

  receipt(message) {
    const area = $("receipts");
    if (area.classList.contains("empty")) {
      area.replaceChildren();
      area.classList.remove("empty");
    }
    const copy = document.createElement("figure");
    copy.className = "receipt";
    const caption = document.createElement("figcaption");
    caption.textContent = `Copy ${message.copy_number}`;
    const paper = document.createElement("pre");
    paper.textContent = message.data.join("\n");
    copy.append(caption, paper);
    area.append(copy);
  },

  result(message, text) {
    clearPrompt();
    state.runningSale = null;
    setBusy(false);
    renderResult(message, JsonPairs.parse(text));
    setStatus(message.message, message.status === "approved" ? "ok" : "warn");
  },

  // How the operation cut off by the lost connection ended.
  transaction_status(message, text) {
    const sale = message.sale_id;
    if (message.state === "running") {
      setStatus(`Sale ${sale}: the terminal is still running its operation…`, "warn");
      setTimeout(() => askStatus(sale), 2000);
      return;
    }
    state.lostSale = null;
    const result = JsonPairs.parse(text).entries.find(([name]) => name === "result");
    if (result) {
      renderResult(message.result, result[1]);
    } else {
      $("result").replaceChildren(document.createTextNode(`Sale ${sale}: ${message.state}, no result.`));
    }
    const reported = message.state === "approved" ? (message.reported ? ", reported to the sale system" : ", not yet reported to the sale system") : "";
    const outcome = {
      approved: "approved",
      canceled: "not paid (canceled)",
      unauthorized: "not paid",
      unknown: "unknown to the gateway",
    }[message.state] || message.state;
    setStatus(`Sale ${sale} after the lost connection: ${outcome}${reported}.`, message.state === "approved" ? "ok" : "warn");
  },
};

function askStatus(sale) {
  if (state.session === null) return;
  send(withSession({ route: "/transaction/status", type: "transaction_status", sale_id: sale }));
}

// ---- prompts -------------------------------------------------------------------

// "1:A Vista" shows as "A Vista"; the answer is always the whole option text.
function labelOfOption(option) {
  const colon = option.indexOf(":");
  return colon > 0 && /^\d+$/.test(option.slice(0, colon)) ? option.slice(colon + 1) : option;
}

function button(label, onClick, kind) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = label;
  b.className = kind;
  b.addEventListener("click", onClick);
  return b;
}

function actions(buttons) {
  const row = document.createElement("div");
  row.className = "actions";
  row.append(...buttons);
  return row;
}

const FIELD_HINTS = {
  505: "number of instalments",
  512: "card number",
  513: "expiry MMAA",
  514: "security code",
  515: "date DDMMAAAA",
  516: "NSU",
};

function collectInput(message) {
  const input = document.createElement("input");
  input.id = "collect-input";
  input.dataset.fieldType = message.field_type;
  input.autocomplete = "off";
  const min = Number(message.minimum_size) || 0;
  const max = Number(message.maximum_size) || 0;
  if (max > 0) input.maxLength = max;
  if (min > 0) input.minLength = min;
  switch (message.field_operation) {
    case "currency":
      input.inputMode = "decimal";
      input.placeholder = "0,00";
      break;
    case "segurança":
      input.type = "password";
      input.inputMode = "numeric";
      break;
    case "barcode":
    case "cmc7":
      input.inputMode = "numeric";
      input.placeholder = message.field_operation === "cmc7" ? "CMC-7 line" : "bar code";
      break;
    default:
      input.type = "text";
  }
  if (!input.placeholder && FIELD_HINTS[message.field_type]) input.placeholder = FIELD_HINTS[message.field_type];
  const sizes = max > 0 ? (min === max ? `${min} characters` : `${min}–${max} characters`) : "";
  input.title = [FIELD_HINTS[message.field_type], sizes].filter(Boolean).join(", ");
  return input;
}

function checkCollect(message, value) {
  const min = Number(message.minimum_size) || 0;
  const max = Number(message.maximum_size) || 0;
  if (value.length < min) return `At least ${min} characters.`;
  if (max > 0 && value.length > max) return `At most ${max} characters.`;
  if (message.field_operation === "currency" && value !== "" && !/^\d+(,\d{1,2})?$/.test(value)) {
    return "An amount such as 12,34.";
  }
  return "";
}

function renderPrompt(message, build) {
  if (!state.busy) setBusy(true);
  const area = $("prompt");
  area.classList.remove("empty");
  area.dataset.type = message.type;
  area.dataset.seq = String(++state.prompts);
  const form = document.createElement("form");
  form.className = `prompt-form ${message.type}`;
  form.addEventListener("submit", (event) => event.preventDefault());
  const title = document.createElement("h3");
  title.textContent = message.title ?? message.message ?? "";
  form.append(title);
  build(form);
  area.replaceChildren(form);
}

function clearPrompt() {
  const area = $("prompt");
  area.replaceChildren(document.createTextNode("No question from the terminal."));
  area.classList.add("empty");
  delete area.dataset.type;
}

function answer(members) {
  if (send(withSession({ route: "/transaction", ...members }))) clearPrompt();
}

// ---- results -------------------------------------------------------------------

// `pairs`: the result message as JsonPairs reads it.
function renderResult(message, pairs) {
  const area = $("result");
  area.classList.remove("empty");
  const head = document.createElement("p");
  head.className = `result-status ${message.status}`;
  head.textContent = `${message.status}: ${message.message}`;
  const parts = [head];
  // Read again keeping repeated member names (a cancellation names
  // "operation" and "operator" twice).
  const items = (pairs.entries.find(([name]) => name === "transaction_data") || [])[1] || [];
  items.forEach((item, index) => {
    const table = document.createElement("table");
    table.className = "result-table";
    const caption = document.createElement("caption");
    caption.textContent = items.length > 1 ? `Payment ${index + 1}` : "Transaction data";
    table.append(caption);
    for (const [name, value] of item.entries) {
      const row = table.insertRow();
      const th = document.createElement("th");
      th.textContent = name;
      row.append(th);
      row.insertCell().textContent = name === "receipt" ? describeReceipt(value) : String(value);
    }
    parts.push(table);
  });
  area.replaceChildren(...parts);
  if (message.status === "approved") rememberForCancellation(message);
}

function describeReceipt(copies) {
  if (!Array.isArray(copies) || copies.length === 0) return "none";
  return copies.map((copy) => `copy ${copy.entries.find(([n]) => n === "copy_number")[1]}`).join(", ");
}

function rememberForCancellation(message) {
  const item = (message.transaction_data || [])[0];
  if (!item || !item.nsu_code) return;
  $("cancel-nsu").value = item.nsu_code;
  const when = String(item.transaction_date_time || "");
  const local = when.endsWith("Z") ? new Date(when) : null;
  if (local && !Number.isNaN(local.getTime())) {
    const pad = (n) => String(n).padStart(2, "0");
    $("cancel-date").value =
      `${local.getFullYear()}-${pad(local.getMonth() + 1)}-${pad(local.getDate())} ` +
      `${pad(local.getHours())}:${pad(local.getMinutes())}:${pad(local.getSeconds())}`;
  }
  if (typeof item.transaction_value === "number") {
    $("cancel-amount").value = item.transaction_value.toFixed(2).replace(".", ",");
  }
}

function startOperation(message) {
  $("receipts").replaceChildren(document.createTextNode("No receipt yet."));
  $("receipts").classList.add("empty");
  $("result").replaceChildren(document.createTextNode("Waiting for the terminal…"));
  $("result").classList.add("empty");
  $("qrcode").classList.add("hidden");
  clearPrompt();
  if (send(withSession(message))) {
    state.runningSale = message.sale_id === undefined ? null : String(message.sale_id);
    setBusy(true);
    setStatus("Sent to the terminal…");
  }
}

// Optional members are sent only when filled in, so the gateway keeps the
// token's sale id and reads an absent amount as zero.
function optional(message, name, value) {
  if (value.trim() !== "") message[name] = value.trim();
  return message;
}

// ---- wiring --------------------------------------------------------------------

function wire() {
  const query = new URLSearchParams(location.search);
  if (query.get("url")) $("url").value = query.get("url");
  if (query.get("token")) $("token").value = query.get("token");
  const updateCertLink = () => {
    $("cert-link").href = $("url").value.trim().replace(/^ws/, "http");
  };
  $("url").addEventListener("input", updateCertLink);
  updateCertLink();

  $("connect").addEventListener("click", connect);
  $("disconnect").addEventListener("click", disconnect);
  $("session-start").addEventListener("click", () =>
    send({ route: "/session/start", type: "session", token: $("token").value.trim() }),
  );
  $("session-finish").addEventListener("click", () => send(withSession({ route: "/session/finish", type: "session" })));
  $("initialize").addEventListener("click", () => send(withSession({ route: "/initialize", type: "initialize" })));
  $("pinpad").addEventListener("click", () => send(withSession({ route: "/pinpad/status", type: "status" })));
  $("version-service").addEventListener("click", () =>
    send({ route: "/version", type: "version", category: "service_exe" }),
  );
  $("version-library").addEventListener("click", () =>
    send({ route: "/version", type: "version", category: "clisitef_dll" }),
  );
  $("tx-cancel").addEventListener("click", () => {
    send(withSession({ route: "/transaction/cancel", type: "cancellation" }));
    setStatus("Cancellation requested…", "warn");
  });
  $("log-clear").addEventListener("click", () => $("log").replaceChildren());

  for (const tab of document.querySelectorAll(".tab")) {
    tab.addEventListener("click", () => {
      for (const other of document.querySelectorAll(".tab")) other.classList.toggle("active", other === tab);
      for (const body of document.querySelectorAll(".tab-body")) body.classList.toggle("active", body.id === tab.dataset.tab);
    });
  }

  const kind = $("pay-kind");
  const showInstallments = () => {
    $("pay-installments-label").classList.toggle("hidden", kind.value !== "3");
  };
  kind.addEventListener("change", showInstallments);
  showInstallments();

  $("pay-form").addEventListener("submit", (event) => {
    event.preventDefault();
    const message = {
      route: "/transaction",
      type: "transaction",
      operation: Number(kind.value),
      payer_name: $("pay-payer").value,
      transaction_value: $("pay-amount").value.trim(),
      number_of_installments: kind.value === "3" ? Number($("pay-installments").value || 0) : 0,
    };
    startOperation(optional(message, "sale_id", $("pay-sale").value));
  });

  $("cancel-form").addEventListener("submit", (event) => {
    event.preventDefault();
    const message = {
      route: "/transaction",
      type: "cancellation",
      operation: Number($("cancel-operation").value || 200),
      cancellation_nsu: $("cancel-nsu").value,
      transaction_date: $("cancel-date").value.trim(),
    };
    optional(message, "transaction_value", $("cancel-amount").value);
    startOperation(optional(message, "sale_id", $("cancel-sale").value));
  });

  $("reprint-form").addEventListener("submit", (event) => {
    event.preventDefault();
    startOperation({ route: "/transaction", type: "reprint", operation: Number($("reprint-operation").value) });
  });

  $("print-form").addEventListener("submit", (event) => {
    event.preventDefault();
    const file = $("print-file").files[0];
    if (!file) {
      setStatus("Choose a PDF file first.", "warn");
      return;
    }
    const reader = new FileReader();
    reader.addEventListener("load", () => {
      const data = String(reader.result);
      const base64 = data.slice(data.indexOf(",") + 1);
      if (send({ route: "/print", type: "print", data: base64, file_type: "pdf" })) {
        setStatus(`"${file.name}" sent to the printer (the gateway answers only on errors).`, "ok");
      }
    });
    reader.addEventListener("error", () => setStatus(`Could not read "${file.name}".`, "error"));
    reader.readAsDataURL(file);
  });

  refreshControls();
  if (query.get("connect") === "1") connect();
}

wire();
