// kest's match report: filters for the messages' kinds, a search of their texts and sorting of
// the table of demos. The page reads whole without it; it only hides and orders what is there.
"use strict";
(() => {
  const element = (name, properties, ...children) => {
    const made = Object.assign(document.createElement(name), properties);
    made.append(...children);
    return made;
  };

  const lists = Array.from(document.querySelectorAll("details.messages"));
  if (lists.length > 0) {
    const bar = element("div", { className: "toolbar" });
    bar.setAttribute("role", "search");
    bar.append("Messages:");
    for (const kind of ["FRAG", "CLSV", "CHAT"]) {
      const box = element("input", { type: "checkbox", checked: true, id: "show-" + kind.toLowerCase() });
      box.addEventListener("change", () => document.body.classList.toggle("hide-" + kind, !box.checked));
      bar.append(element("label", { htmlFor: box.id }, box, " " + kind));
    }
    const search = element("input", { type: "search", id: "search", placeholder: "Search the messages" });
    search.setAttribute("aria-label", "Search the messages");
    const found = element("output", { htmlFor: "search" });
    bar.append(search, found);
    document.querySelector("main").prepend(bar);

    // Each list's rows with their texts in lower case, gathered at the first search.
    let texts = null;
    const find = () => {
      const query = search.value.trim().toLowerCase();
      texts = texts || lists.map((list) =>
        Array.from(list.querySelectorAll("tbody tr"), (row) => [row, row.cells[2].textContent.toLowerCase()]));
      let matches = 0;
      lists.forEach((list, at) => {
        let inList = 0;
        for (const [row, text] of texts[at]) {
          const hit = text.includes(query);
          row.classList.toggle("miss", !hit);
          inList += hit ? 1 : 0;
        }
        // A search opens the lists it found something in and folds the others.
        if (query) list.open = inList > 0;
        matches += inList;
      });
      found.value = query ? matches + (matches === 1 ? " message matches" : " messages match") : "";
    };
    let pending = 0;
    search.addEventListener("input", () => {
      clearTimeout(pending);
      pending = setTimeout(find, 150);
    });
  }

  // The table of demos sorts by a column at a click on its head: by the numbers in data-v where
  // the column has them, otherwise by its text, numbers within it by their value.
  const summary = document.querySelector("table.summary");
  if (summary) {
    const heads = Array.from(summary.tHead.rows[0].cells);
    heads.forEach((head, column) => {
      const button = element("button", { type: "button" }, ...head.childNodes);
      head.append(button);
      button.addEventListener("click", () => {
        const ascending = head.getAttribute("aria-sort") !== "ascending";
        heads.forEach((other) => other.removeAttribute("aria-sort"));
        head.setAttribute("aria-sort", ascending ? "ascending" : "descending");
        const key = (row) => {
          const cell = row.cells[column];
          return "v" in cell.dataset ? Number(cell.dataset.v) : cell.textContent;
        };
        const compare = (a, b) =>
          typeof a === "number" ? a - b : a.localeCompare(b, undefined, { numeric: true, sensitivity: "base" });
        const rows = Array.from(summary.tBodies[0].rows, (row, at) => ({ row, at, key: key(row) }));
        rows.sort((a, b) => (ascending ? 1 : -1) * compare(a.key, b.key) || a.at - b.at);
        summary.tBodies[0].append(...rows.map((entry) => entry.row));
      });
    });
  }
})();
