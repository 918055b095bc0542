#include "apps/flash-report/html_report.hpp"

namespace flash_report {

// Patterns and outlines carry the chart's meaning as well as colour, so a grey-scale print
// reads the same; every bar is labelled with its name and count too.
const std::string_view PAGE_STYLE = R"css(
body { font: 14px/1.4 system-ui, sans-serif; margin: 1.5em auto; max-width: 72em; padding: 0 1em;
       color: #111; }
h1 { font-size: 1.5em; margin-bottom: .2em; }
h2 { font-size: 1.2em; margin-top: 1.8em; border-bottom: 1px solid #999; }
dl.run { display: grid; grid-template-columns: max-content auto; gap: .2em 1em; }
dl.run dt { font-weight: 600; }
dl.run dd { margin: 0; }
table { border-collapse: collapse; width: 100%; margin: .5em 0; }
th, td { border: 1px solid #bbb; padding: .25em .5em; text-align: left; vertical-align: top; }
th { background: #eee; }
td:nth-child(-n+3) { white-space: nowrap; }
th button { font: inherit; font-weight: 600; border: 0; background: none; padding: 0;
            cursor: pointer; }
th[aria-sort=ascending] button::after { content: " \25B2"; }
th[aria-sort=descending] button::after { content: " \25BC"; }
tr:nth-child(even) td { background: #f7f7f7; }
.note { background: #fff4d6; border-left: 4px solid #b58100; padding: .4em .8em; }
#filters label { margin-right: 1.5em; }
details { margin: .3em 0; border: 1px solid #ccc; padding: .3em .6em;
          content-visibility: auto; contain-intrinsic-size: auto 2.2em; }
details > summary { cursor: pointer; font-weight: 600; }
dl.evidence { display: grid; grid-template-columns: max-content auto; gap: .1em 1em; }
dl.evidence dd { margin: 0; }
pre { margin: 0; white-space: pre-wrap; }
.chart text { font: 13px system-ui, sans-serif; fill: #111; }
@media print { #filters, th button::after { display: none; } details { break-inside: avoid; } }
)css";

// Sorting and filtering of the susceptible table. Without a script the table is complete and
// in recovery order; the filter controls are only added when the script runs.
const std::string_view PAGE_SCRIPT = R"js(
(function () {
  var table = document.getElementById('susceptible-table');
  if (!table) return;
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var shown = document.getElementById('shown');
  var filters = document.getElementById('filters');

  function makeFilter(label, attribute) {
    var values = [];
    rows.forEach(function (row) {
      var value = row.getAttribute(attribute);
      if (values.indexOf(value) < 0) values.push(value);
    });
    var wrap = document.createElement('label');
    wrap.appendChild(document.createTextNode(label + ' '));
    var select = document.createElement('select');
    select.id = 'filter-' + attribute.replace('data-', '');
    var all = document.createElement('option');
    all.value = '';
    all.textContent = 'All';
    select.appendChild(all);
    values.forEach(function (value) {
      var option = document.createElement('option');
      option.value = value;
      option.textContent = value || '(none)';
      select.appendChild(option);
    });
    select.addEventListener('change', apply);
    wrap.appendChild(select);
    filters.appendChild(wrap);
    return select;
  }

  var group = makeFilter('Recovery group', 'data-group');
  var controller = makeFilter('Controller', 'data-controller');

  function apply() {
    var count = 0;
    rows.forEach(function (row) {
      var keep = (!group.value || row.getAttribute('data-group') === group.value) &&
                 (!controller.value || row.getAttribute('data-controller') === controller.value);
      row.hidden = !keep;
      if (keep) count++;
    });
    shown.textContent = count + ' of ' + rows.length + ' shown';
  }

  var headings = table.tHead.rows[0].cells;
  Array.prototype.forEach.call(headings, function (heading, column) {
    var button = document.createElement('button');
    button.type = 'button';
    button.textContent = heading.textContent;
    heading.textContent = '';
    heading.appendChild(button);
    button.addEventListener('click', function () {
      var ascending = heading.getAttribute('aria-sort') !== 'ascending';
      Array.prototype.forEach.call(headings, function (h) { h.removeAttribute('aria-sort'); });
      heading.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      rows.sort(function (a, b) {
        var order = a.cells[column].textContent.localeCompare(
            b.cells[column].textContent, undefined, {numeric: true});
        return ascending ? order : -order;
      });
      rows.forEach(function (row) { body.appendChild(row); });
    });
  });
  apply();
})();
)js";

}  // namespace flash_report
