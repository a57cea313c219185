// buttons.js: the page's reload buttons and its service worker, once the page's elements are there.
[].forEach.call(document.querySelectorAll('.reload'), function (button) {
  button.addEventListener('click', function () { location.reload(); });
});
// Kept by a service worker, the page starts and plays with the network off after one visit.
if ('serviceWorker' in navigator) {
  window.addEventListener('load', function () { navigator.serviceWorker.register('sw.js').catch(function () {}); });
}
